#include "calibration.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>

#include "brush_host.h"
#include "builtin_shapes.h"
#include "errors.h"
#include "sculpture.h"
#include "tarnix/brush_configuration.h"
#include "tarnix/brush_operation.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"

namespace corvane_apps {
namespace {

// The brush radius of every stroke on the plane, which spans [-1, 1]^2 and is subdivided five
// times: 128 x 128 faces, sixteen to the radius.
constexpr float kRadius = 0.25f;
constexpr uint32_t kPlaneLevels = 5;
constexpr float kEdge = 2.0f / 128.0f;
// Reliefs stand a fifth of the radius high and spread over a little less than the radius.
constexpr float kReliefHeight = 0.2f * kRadius;
constexpr float kReliefWidth = 0.4f * kRadius;

using Shape = std::function<tarnix::Vector(const tarnix::Vector&)>;
using Positions = std::vector<tarnix::Vector>;

Positions PositionsOf(const Sculpture& sculpture) {
    const tarnix::SubdivisionLevel& level = sculpture.Level();
    Positions positions(level.VertexCount());
    for (uint32_t v = 0; v < level.VertexCount(); ++v) positions[v] = level.VertexPosition(v);
    return positions;
}

// The plane, its sculpted level shaped by `shape`, seen from above.
std::unique_ptr<Sculpture> Plane(BrushHost& host, const Shape& shape) {
    tarnix::PolygonMesh polygons;
    shapes::Named(QStringLiteral("plane"), polygons);
    auto sculpture = std::make_unique<Sculpture>(host);
    sculpture->Load(polygons, QStringLiteral("plane"), kPlaneLevels);
    tarnix::SubdivisionLevel& level = sculpture->Level();
    for (uint32_t v = 0; v < level.VertexCount(); ++v) level.SetVertexPosition(v, shape(level.VertexPosition(v)));
    level.RecomputeNormals();
    level.Grid(true)->Rebuild();
    sculpture->Look({{0, 0, 5}, {0, 0, 0}});
    return sculpture;
}

float Bump(const tarnix::Vector& p) {
    return kReliefHeight * std::exp(-(p.x * p.x + p.y * p.y) / (kReliefWidth * kReliefWidth));
}

StrokeStep StrokeOf(const QString& tool, float strength, std::vector<tarnix::Vector> path, float radius = kRadius) {
    StrokeStep stroke;
    stroke.tool = tool;
    stroke.size = radius;
    stroke.strength = strength;
    stroke.falloffType = tarnix::BrushOperation::kFalloffSurface;
    stroke.path = std::move(path);
    return stroke;
}

// Every figure starts from the tool's first-use settings: the preset records are dropped and
// the tool activated anew.
void Run(BrushHost& host, Sculpture& sculpture, const StrokeStep& stroke) {
    tarnix::BrushOperation& brush = host.BrushOf(host.Tool(stroke.tool));
    if (brush.ActiveConfiguration() == host.Tool(stroke.tool))
        for (tarnix::BrushConfiguration* other : host.Tools())
            if (other != brush.ActiveConfiguration() && other->OperationClass() == brush.GetClass()) {
                brush.SetActiveConfiguration(other);
                break;
            }
    tarnix::BrushOperation::RestorePresetRecords({});
    sculpture.Prepare(stroke);
    sculpture.Apply(stroke, false);
}

// A stroke across the middle of the plane, a radius either side of its centre.
const std::vector<tarnix::Vector> kAcross = {{-kRadius, 0, 2}, {kRadius, 0, 2}};

uint32_t NearestTo(const Positions& positions, const tarnix::Vector& point) {
    uint32_t nearest = 0;
    for (uint32_t v = 1; v < positions.size(); ++v)
        if ((positions[v] - point).LengthSquared() < (positions[nearest] - point).LengthSquared()) nearest = v;
    return nearest;
}

// ---- the figures --------------------------------------------------------------------------------

// How far one dab at the plane's centre moves the surface, in radii: at the centre, or where the
// stamp moves it most.
double OneDab(BrushHost& host, const QString& tool, float strength, bool stamped) {
    auto sculpture = Plane(host, [](const tarnix::Vector& p) { return p; });
    const Positions before = PositionsOf(*sculpture);
    Run(host, *sculpture, StrokeOf(tool, strength, {{0, 0, 2}}));
    const Positions after = PositionsOf(*sculpture);
    if (!stamped) {
        const uint32_t centre = NearestTo(before, {0, 0, 0});
        return (after[centre] - before[centre]).Length() / kRadius;
    }
    double most = 0.0;
    for (size_t v = 0; v < before.size(); ++v) most = std::max(most, double((after[v] - before[v]).Length()));
    return most / kRadius;
}

// The crest of a bump as the mean position of what stands above half its height.
double CrestAlongX(const Positions& positions) {
    double sum = 0.0, weights = 0.0;
    for (const tarnix::Vector& p : positions)
        if (p.z > 0.5f * kReliefHeight) {
            sum += double(p.x) * (p.z - 0.5f * kReliefHeight);
            weights += p.z - 0.5f * kReliefHeight;
        }
    return weights > 0.0 ? sum / weights : 0.0;
}

double SmearedCrest(BrushHost& host, float strength) {
    auto sculpture = Plane(host, [](const tarnix::Vector& p) { return tarnix::Vector(p.x, p.y, Bump(p)); });
    const double before = CrestAlongX(PositionsOf(*sculpture));
    Run(host, *sculpture, StrokeOf(QStringLiteral("Smear"), strength, kAcross));
    return (CrestAlongX(PositionsOf(*sculpture)) - before) / kRadius;
}

// The share of a bump's (or with `sign` -1 a pit's) height at its centre that one stroke takes away.
double Levelled(BrushHost& host, const QString& tool, float strength, float sign) {
    auto sculpture = Plane(host, [sign](const tarnix::Vector& p) { return tarnix::Vector(p.x, p.y, sign * Bump(p)); });
    const Positions before = PositionsOf(*sculpture);
    const uint32_t centre = NearestTo(before, {0, 0, before[NearestTo(before, {0, 0, 0})].z});
    Run(host, *sculpture, StrokeOf(tool, strength, kAcross));
    return 1.0 - double(PositionsOf(*sculpture)[centre].z) / double(before[centre].z);
}

double RootMeanSquareHeightNearCentre(const Positions& start, const Positions& now) {
    double sum = 0.0;
    size_t count = 0;
    for (size_t v = 0; v < start.size(); ++v)
        if (start[v].x * start[v].x + start[v].y * start[v].y < 0.25f * kRadius * kRadius) {
            sum += double(now[v].z) * now[v].z;
            ++count;
        }
    return std::sqrt(sum / double(count));
}

// How much an egg-crate relief under the middle of the stroke grows.
double Amplified(BrushHost& host, float strength) {
    constexpr float kWave = 6.2831853f / kRadius;
    auto sculpture = Plane(host, [](const tarnix::Vector& p) {
        return tarnix::Vector(p.x, p.y, 0.25f * kReliefHeight * std::cos(kWave * p.x) * std::cos(kWave * p.y));
    });
    const Positions before = PositionsOf(*sculpture);
    Run(host, *sculpture, StrokeOf(QStringLiteral("Amplify"), strength, kAcross));
    return RootMeanSquareHeightNearCentre(before, PositionsOf(*sculpture)) /
               RootMeanSquareHeightNearCentre(before, before) -
           1.0;
}

// How much a groove along the stroke narrows: the share of their distance from the stroke's line
// that its walls (the vertices that started between an eighth and half a radius from it, near
// the stroke's middle) were drawn in by.
double Narrowed(BrushHost& host, float strength) {
    auto sculpture = Plane(host, [](const tarnix::Vector& p) {
        return tarnix::Vector(p.x, p.y, -kReliefHeight * std::exp(-(p.y * p.y) / (kReliefWidth * kReliefWidth)));
    });
    const Positions before = PositionsOf(*sculpture);
    Run(host, *sculpture, StrokeOf(QStringLiteral("Pinch"), strength, kAcross));
    const Positions after = PositionsOf(*sculpture);
    double from = 0.0, to = 0.0;
    for (size_t v = 0; v < before.size(); ++v) {
        const float off = std::fabs(before[v].y);
        if (std::fabs(before[v].x) > 0.25f * kRadius || off < 0.125f * kRadius || off > 0.5f * kRadius) continue;
        from += off;
        to += std::fabs(after[v].y);
    }
    return 1.0 - to / from;
}

// The spread of the lengths of the edges near the stroke's middle: standard deviation over mean.
double EdgeSpread(const tarnix::SubdivisionLevel& level, const Positions& start, const Positions& now) {
    double sum = 0.0, squares = 0.0;
    size_t count = 0;
    const uint32_t corners = level.CornersPerFace();
    for (uint32_t f = 0; f < level.m_faceCount; ++f) {
        const uint32_t* c = level.FaceCorners(f);
        for (uint32_t k = 0; k < corners; ++k) {
            const uint32_t a = c[k], b = c[(k + 1) % corners];
            const auto near = [&](uint32_t v) {
                return start[v].x * start[v].x + start[v].y * start[v].y < 0.25f * kRadius * kRadius;
            };
            if (!near(a) || !near(b)) continue;
            const double length = (now[a] - now[b]).Length();
            sum += length;
            squares += length * length;
            ++count;
        }
    }
    const double mean = sum / double(count);
    return std::sqrt(std::max(0.0, squares / double(count) - mean * mean)) / mean;
}

double Relaxed(BrushHost& host, float strength) {
    // Every inner vertex pushed aside at random by up to a third of an edge; a fixed seed keeps
    // the relief the same from run to run.
    std::minstd_rand random(7);
    std::uniform_real_distribution<float> shift(-kEdge / 3.0f, kEdge / 3.0f);
    auto sculpture = Plane(host, [&](const tarnix::Vector& p) {
        const bool inner = std::fabs(p.x) < 0.99f && std::fabs(p.y) < 0.99f;
        const float dx = shift(random), dy = shift(random);
        return inner ? tarnix::Vector(p.x + dx, p.y + dy, 0) : p;
    });
    const Positions before = PositionsOf(*sculpture);
    Run(host, *sculpture, StrokeOf(QStringLiteral("Relax"), strength, kAcross));
    const tarnix::SubdivisionLevel& level = sculpture->Level();
    return 1.0 - EdgeSpread(level, before, PositionsOf(*sculpture)) / EdgeSpread(level, before, before);
}

// A ridge raised by Sculpt (strength 15, radius 0.15) along a line over the top of a cube
// subdivided six times, then smoothed `strokes` times along the same line at twice the radius:
// the share of the ridge's height taken away. The height is measured from the ridge's flanks,
// so that the curved top settling under the smoothing does not count.
double SmoothedRidge(BrushHost& host, float strength, int strokes) {
    tarnix::PolygonMesh polygons;
    shapes::Named(QStringLiteral("cube"), polygons);
    Sculpture sculpture(host);
    sculpture.Load(polygons, QStringLiteral("cube"), 6);
    sculpture.Look({{0, 5, 0.001f}, {0, 0, 0}});
    const Positions start = PositionsOf(sculpture);
    const std::vector<tarnix::Vector> line = {{-0.4f, 2, 0}, {0.4f, 2, 0}};
    const auto height = [&] {
        const Positions now = PositionsOf(sculpture);
        double peak = -1e30, flanks = 0.0;
        size_t flankCount = 0;
        for (size_t v = 0; v < start.size(); ++v) {
            if (start[v].y < 0.5f || std::fabs(start[v].x) > 0.2f) continue;
            const double lift = now[v].y - start[v].y;
            if (std::fabs(start[v].z) < 0.05f) peak = std::max(peak, lift);
            if (std::fabs(std::fabs(start[v].z) - 0.2f) < 0.012f) {
                flanks += lift;
                ++flankCount;
            }
        }
        return peak - flanks / double(flankCount);
    };
    Run(host, sculpture, StrokeOf(QStringLiteral("Sculpt"), 15.0f, line, 0.15f));
    const double ridge = height();
    for (int i = 0; i < strokes; ++i) Run(host, sculpture, StrokeOf(QStringLiteral("Smooth"), strength, line, 0.3f));
    return 1.0 - height() / ridge;
}

struct Experiment {
    QString tool, variant, relief, figure;
    std::function<double(BrushHost&, float)> measure;
};

std::vector<Experiment> Experiments() {
    const auto dab = [](const QString& tool, bool stamped) {
        return Experiment{
            tool, QString(), QStringLiteral("flat"),
            stamped ? QStringLiteral("largest move of one dab, radii")
                    : QStringLiteral("move at the centre of one dab, radii"),
            [tool, stamped](BrushHost& host, float strength) { return OneDab(host, tool, strength, stamped); }};
    };
    const auto levelled = [](const QString& tool, float sign) {
        return Experiment{
            tool, QString(), sign > 0 ? QStringLiteral("bump") : QStringLiteral("pit"),
            QStringLiteral("share of its height taken away"),
            [tool, sign](BrushHost& host, float strength) { return Levelled(host, tool, strength, sign); }};
    };
    return {
        dab(QStringLiteral("Sculpt"), false),
        {QStringLiteral("Smear"), QString(), QStringLiteral("bump"),
         QStringLiteral("crest moved along the stroke, radii"), SmearedCrest},
        {QStringLiteral("Pinch"), QString(), QStringLiteral("groove"),
         QStringLiteral("share of its walls' distance drawn in"), Narrowed},
        {QStringLiteral("Smooth"), QString(), QStringLiteral("ridge"), QStringLiteral("share of its height taken away"),
         [](BrushHost& host, float strength) { return SmoothedRidge(host, strength, 1); }},
        {QStringLiteral("Smooth"), QStringLiteral("three strokes"), QStringLiteral("ridge"),
         QStringLiteral("share of its height three strokes take away"),
         [](BrushHost& host, float strength) { return SmoothedRidge(host, strength, 3); }},
        {QStringLiteral("Amplify"), QString(), QStringLiteral("egg crate"), QStringLiteral("growth of the relief"),
         Amplified},
        levelled(QStringLiteral("Flatten"), 1.0f),
        levelled(QStringLiteral("Scrape"), 1.0f),
        levelled(QStringLiteral("Fill"), -1.0f),
        dab(QStringLiteral("Wax"), false),
        dab(QStringLiteral("Bulge"), false),
        dab(QStringLiteral("Spray"), true),
        dab(QStringLiteral("Repeat"), true),
        dab(QStringLiteral("Knife"), true),
        dab(QStringLiteral("Foamy"), false),
        dab(QStringLiteral("Imprint"), true),
        {QStringLiteral("Relax"), QString(), QStringLiteral("uneven faces"),
         QStringLiteral("share of the edge lengths' spread taken away"), Relaxed},
    };
}

// Runs `measure` with the preset records as they were put back afterwards, also on an error.
template <typename Measure>
auto KeepingPresetRecords(Measure&& measure) {
    const tarnix::BrushOperation::PresetRecords records = tarnix::BrushOperation::SavedPresetRecords();
    try {
        auto result = measure();
        tarnix::BrushOperation::RestorePresetRecords(records);
        return result;
    } catch (...) {
        tarnix::BrushOperation::RestorePresetRecords(records);
        throw;
    }
}

CalibrationRow MeasureOne(BrushHost& host, const Experiment& experiment) {
    CalibrationRow row{experiment.tool, experiment.variant, experiment.relief, experiment.figure, 0.0f, {}};
    for (float strength : Calibration::Strengths()) row.values.push_back(experiment.measure(host, strength));
    // The strength the preset starts from, as its first activation sets it.
    tarnix::BrushOperation& brush = host.BrushOf(host.Tool(experiment.tool));
    tarnix::BrushOperation::RestorePresetRecords({});
    for (tarnix::BrushConfiguration* tool : host.Tools())
        if (tool != host.Tool(experiment.tool) && tool->OperationClass() == brush.GetClass()) {
            brush.SetActiveConfiguration(tool);
            break;
        }
    tarnix::BrushOperation::RestorePresetRecords({});
    brush.SetActiveConfiguration(host.Tool(experiment.tool));
    row.firstUseStrength = brush.BrushStrength();
    return row;
}

}  // namespace

const std::vector<float>& Calibration::Strengths() {
    static const std::vector<float> strengths = {15.0f, 50.0f, 100.0f};
    return strengths;
}

std::vector<CalibrationRow> Calibration::Measure(BrushHost& host) {
    return KeepingPresetRecords([&] {
        std::vector<CalibrationRow> rows;
        for (const Experiment& experiment : Experiments())
            if (host.Tool(experiment.tool)) rows.push_back(MeasureOne(host, experiment));
        return rows;
    });
}

CalibrationRow Calibration::MeasureTool(BrushHost& host, const QString& tool, const QString& variant) {
    for (const Experiment& experiment : Experiments())
        if (experiment.tool == tool && experiment.variant == variant && host.Tool(tool))
            return KeepingPresetRecords([&] { return MeasureOne(host, experiment); });
    Fail(QStringLiteral("no calibration of \"%1\" %2").arg(tool, variant));
}

QString Calibration::Table(const std::vector<CalibrationRow>& rows) {
    QString table = QStringLiteral("| Tool | Relief | Figure | Starts at |");
    QString rule = QStringLiteral("|---|---|---|---|");
    for (float strength : Strengths()) {
        table += QStringLiteral(" At %1 |").arg(double(strength));
        rule += QStringLiteral("---|");
    }
    table += QLatin1Char('\n') + rule + QLatin1Char('\n');
    for (const CalibrationRow& row : rows) {
        table += QStringLiteral("| %1 | %2 | %3 | %4 |")
                     .arg(row.tool, row.relief, row.figure)
                     .arg(double(row.firstUseStrength));
        for (double value : row.values) table += QStringLiteral(" %1 |").arg(value, 0, 'f', 3);
        table += QLatin1Char('\n');
    }
    return table;
}

}  // namespace corvane_apps
