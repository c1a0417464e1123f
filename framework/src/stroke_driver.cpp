#include "tarnix/stroke_driver.h"

#include <algorithm>
#include <cmath>

#include "tarnix/error.h"
#include "tarnix/kernel.h"
#include "tarnix/mesh_change.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"
#include "tarnix/surface_point.h"
#include "tarnix/topological_symmetry.h"
#include "tarnix/transformation.h"

namespace tarnix {
namespace {

// The surface point under `local` (mesh space) along `direction`, either way, nearest.
bool PlaceOnSurface(SubdivisionLevel& level, const Vector& local, const Vector& direction, SurfacePoint& hit) {
    return level.Grid(true)->CastRay(local, direction, hit, true, true);
}

// Barycentric weights of `p` in the triangle (a, b, c), projected onto its plane.
Vector Barycentric(const Vector& p, const Vector& a, const Vector& b, const Vector& c) {
    const Vector e1 = b - a, e2 = c - a, d = p - a;
    const float a11 = e1 | e1, a12 = e1 | e2, a22 = e2 | e2, b1 = d | e1, b2 = d | e2;
    const float determinant = a11 * a22 - a12 * a12;
    if (determinant == 0.0f) return {1, 0, 0};
    const float v = (b1 * a22 - b2 * a12) / determinant, w = (a11 * b2 - a12 * b1) / determinant;
    return {1 - v - w, v, w};
}

// Where a face's corners were when the stroke started: their undo entries keep that.
Vector StartPosition(SubdivisionLevel& level, uint32_t vertex) {
    if (const StoredVertexInfo* entry = level.CurrentChange()->Find(vertex))
        return {entry->m_position[0], entry->m_position[1], entry->m_position[2]};
    return level.VertexPosition(vertex);
}

// A point of a face as weights of three of its corners: the triangle the point lies in
// (quads split along their 1-3 diagonal, as the ray cast splits them).
struct FaceWeights {
    uint32_t corners[3];
    Vector weights;
};

FaceWeights WeighOnFace(SubdivisionLevel& level, uint32_t face, const Vector& point) {
    const uint32_t* c = level.FaceCorners(face);
    const auto at = [&](uint32_t k) { return StartPosition(level, c[k]); };
    FaceWeights result{{0, 1, level.CornersPerFace() - 1}, {}};
    result.weights = Barycentric(point, at(0), at(1), at(result.corners[2]));
    if (level.CornersPerFace() == 4 &&
        std::min(result.weights.x, std::min(result.weights.y, result.weights.z)) < -1e-4f) {
        result = {{2, 3, 1}, Barycentric(point, at(2), at(3), at(1))};
    }
    return result;
}

// The hit, found on the surface of the stroke's start, carried onto the current surface.
void CarryToCurrentSurface(SubdivisionLevel& level, SurfacePoint& hit) {
    const FaceWeights w = WeighOnFace(level, hit.m_face, hit.m_position);
    const uint32_t* c = level.FaceCorners(hit.m_face);
    hit.m_position = level.VertexPosition(c[w.corners[0]]) * w.weights.x +
                     level.VertexPosition(c[w.corners[1]]) * w.weights.y +
                     level.VertexPosition(c[w.corners[2]]) * w.weights.z;
    hit.m_normal = level.FaceNormal(hit.m_face).Normalized();
}

// The topological twin of `hit` (on the stroke's start surface): on the partner face, at the
// same weights of the partners of the corners.
bool TopologicalTwin(SubdivisionLevel& level, const SurfacePoint& hit, SurfacePoint& twin) {
    const TopologicalSymmetry& symmetry = level.Symmetry();
    const uint32_t partner = symmetry.PartnerFace(hit.m_face);
    if (partner == TopologicalSymmetry::kNone) return false;
    const FaceWeights w = WeighOnFace(level, hit.m_face, hit.m_position);
    const uint32_t* theirs = level.FaceCorners(partner);
    const auto mirrored = [&](uint32_t k) {
        return StartPosition(level, theirs[symmetry.PartnerCorner(hit.m_face, w.corners[k])]);
    };
    const Vector position = mirrored(0) * w.weights.x + mirrored(1) * w.weights.y + mirrored(2) * w.weights.z;
    twin = SurfacePoint(&level, partner, position, level.FaceNormal(partner).Normalized(), 1);
    return true;
}

double Distance(const Vector& a, const Vector& b) {
    // In double: the difference of two far-apart floats squared would overflow a float.
    const double x = double(b.x) - a.x, y = double(b.y) - a.y, z = double(b.z) - a.z;
    return std::sqrt(x * x + y * y + z * z);
}

bool IsFinite(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

// A stroke left going on (its driver unwound by an error) still ends, so that the brush gives
// back the mesh and the change made so far stays undoable.
StrokeDriver::~StrokeDriver() {
    if (!InStroke()) return;
    try {
        End();
    } catch (Error* error) {
        Error::Dispose(error);
    }
}

uint64_t StrokeDriver::SegmentDabs(const Vector& point) const {
    if (!m_hasPoint) return 1;
    const double length = Distance(m_lastPoint, point), first = double(m_spacing) - m_carried;
    if (!(first <= length)) return 0;
    const double count = std::floor((length - first) / m_spacing) + 1.0;
    return count < double(kMostDabs) * 2.0 ? uint64_t(count) : kMostDabs * 2;
}

template <typename Emit>
void StrokeDriver::Resample(const Vector& point, Emit&& emit) {
    const uint64_t dabs = SegmentDabs(point);
    if (!m_hasPoint) {
        m_hasPoint = true;
        m_lastPoint = m_steadied = point;
        emit(m_steadied);
        return;
    }
    const Vector from = m_lastPoint, to = point;
    const double length = Distance(from, to), first = double(m_spacing) - m_carried;
    // Each centre is found from the segment's start by its count, never by adding the spacing
    // up: a spacing below the rounding of `along` would otherwise never get past it.
    for (uint64_t k = 0; k < dabs; ++k) {
        const double along = first + double(k) * m_spacing;
        const Vector raw = from + (to - from) * float(along / length);
        m_steadied = m_steadied + (raw - m_steadied) * m_follow;
        emit(m_steadied);
    }
    m_carried = length > 0.0 ? std::fmod(m_carried + length, double(m_spacing)) : m_carried;
    m_lastPoint = point;
}

void StrokeDriver::Refuse(const QString& text) const {
    Error::Raise(Error::kCodeInvalidArgument, "StrokeDriver", "framework/src/stroke_driver.cpp", 0, text);
}

float StrokeDriver::Spacing(float size) const {
    return std::max(size * m_brush.m_dabSpacingAttr.Value() / 100.0f, size * 1e-3f);
}

uint64_t StrokeDriver::DabCount(const std::vector<Vector>& path, float size) const {
    if (path.size() > kMostPathPoints) return kMostDabs + 1;
    StrokeDriver sampler(m_brush);
    sampler.m_spacing = Spacing(size);
    if (!(std::isnormal(sampler.m_spacing) && sampler.m_spacing > 0.0f)) return kMostDabs + 1;
    uint64_t dabs = 0;
    for (const Vector& point : path) {
        if (!IsFinite(point)) return kMostDabs + 1;
        dabs += sampler.SegmentDabs(point);
        if (dabs > kMostDabs) return kMostDabs + 1;
        // Only where the segment ends and what it carries over matter for the next one.
        if (sampler.m_hasPoint) {
            const double length = Distance(sampler.m_lastPoint, point);
            sampler.m_carried = length > 0.0 ? std::fmod(sampler.m_carried + length, double(sampler.m_spacing))
                                              : sampler.m_carried;
        }
        sampler.m_hasPoint = true;
        sampler.m_lastPoint = point;
    }
    return dabs;
}

void StrokeDriver::Begin(SubdivisionLevel& level, const StrokeOptions& options) {
    if (InStroke()) End();
    m_options = options;
    m_report = StrokeReport();
    const Transformation* transformation = level.GetTransformation();
    m_toMesh = transformation ? transformation->WorldToMesh() : Matrix();
    m_toWorld = transformation ? transformation->MeshToWorld() : Matrix();
    m_view = m_toMesh.Transform(Kernel::Scene()->GetCamera().Direction(), 0.0f).Normalized();
    m_localSize = m_toMesh.Transform({options.size, 0, 0}, 0.0f).Length();
    // The host scales the user's strength per tool (the brush's strength scale).
    m_strength = options.strength * m_brush.StrengthScale();
    m_spacing = Spacing(options.size);
    if (!(std::isnormal(options.size) && options.size > 0.0f && std::isnormal(m_localSize) &&
          std::isnormal(m_spacing) && std::isfinite(m_strength)))
        Refuse(QStringLiteral("brush size %1 (%2 in the mesh's space) or strength %3 is not a finite positive number")
                   .arg(double(options.size))
                   .arg(double(m_localSize))
                   .arg(double(m_strength)));
    const BoolFloat smoothing = m_brush.StrokeSmoothing();
    m_follow = smoothing.on ? 1.0f - std::clamp(smoothing.value, 0.0f, 0.95f) : 1.0f;
    m_hasPoint = false;
    m_carried = 0.0;
    m_centres = 0;
    m_points = 0;

    // Dabs are found on the surface as it was when the stroke started (the spatial grid is
    // refitted once, here, before the brush's stroke and its clock begin), then carried onto
    // the surface as the dabs before them left it. A brush that refits the grid itself during
    // the stroke (or changes the faces) makes casts find the current surface; those hits stay.
    SpatialGrid* grid = level.Grid(true);
    grid->Update();
    m_startFit = grid->FitStamp();
    m_brush.SetPreviousPatchPosition({0, 0, 0});
    m_brush.BeginStroke(&level, options.modifier, BrushOperation::kTriggerDrag);
    m_level = &level;
}

void StrokeDriver::AddPoint(const Vector& point, float pressure) {
    if (!InStroke()) return;
    if (!IsFinite(point) || !IsFinite(m_toMesh.Transform(point, 1.0f)))
        Refuse(QStringLiteral("the path point (%1, %2, %3) is not finite in the world or the mesh's space")
                   .arg(double(point.x))
                   .arg(double(point.y))
                   .arg(double(point.z)));
    if (++m_points > kMostPathPoints)
        Refuse(QStringLiteral("a stroke takes at most %1 points").arg(kMostPathPoints));
    if (m_centres + SegmentDabs(point) > kMostDabs && !m_brush.PlacesSingleStamp())
        Refuse(QStringLiteral("a stroke places at most %1 dabs; this point, %2 from the last, would pass that at a "
                              "spacing of %3")
                   .arg(kMostDabs)
                   .arg(m_hasPoint ? Distance(m_lastPoint, point) : 0.0)
                   .arg(double(m_spacing)));
    Resample(point, [&](const Vector& centre) {
        // A brush that places a single stamp takes the first dab of the stroke only.
        if (m_brush.PlacesSingleStamp() && m_centres > 0) return;
        if (m_centres++ == 0) m_previousDab = m_toMesh.Transform(centre, 1.0f);
        PlaceDab(centre, m_options.dabFactor * pressure);
    });
}

void StrokeDriver::PlaceDab(const Vector& centre, float dabFactor) {
    SubdivisionLevel& level = *m_level;
    const auto castsSeeTheStart = [&] { return level.Grid(false) && level.Grid(false)->FitStamp() == m_startFit; };
    const Vector local = m_toMesh.Transform(centre, 1.0f);
    SurfacePoint hit;
    if (!PlaceOnSurface(level, local, m_view, hit)) return;
    const Vector tangent =
        (local - m_previousDab).LengthSquared() > 0.0f ? local - m_previousDab : m_view & hit.m_normal;
    m_previousDab = local;
    // The twin is found before the dab changes the surface under it.
    SurfacePoint twin;
    bool twinPlaced = false;
    if (m_brush.MirrorConfig().MirrorMode() != MirrorConfiguration::kOff) {
        const Vector mirrored = m_brush.MirrorConfig().Transform(hit.m_position, 1.0f, hit);
        const Vector mirroredNormal = m_brush.MirrorConfig().Transform(hit.m_normal, 0.0f, hit);
        twinPlaced = m_brush.MirrorConfig().MirrorMode() == MirrorConfiguration::kTopological
                         ? TopologicalTwin(level, hit, twin)
                         : PlaceOnSurface(level, mirrored + mirroredNormal * (0.5f * m_localSize), -mirroredNormal,
                                          twin);
        twin.m_mirrored = 1;
        // The topological twin is made from the start positions of the partner corners.
        if (twinPlaced &&
            (castsSeeTheStart() || m_brush.MirrorConfig().MirrorMode() == MirrorConfiguration::kTopological))
            CarryToCurrentSurface(level, twin);
    }
    if (castsSeeTheStart()) CarryToCurrentSurface(level, hit);
    m_brush.PlaceStamp(hit.m_position, hit.m_normal, tangent, m_localSize);
    Vector world = m_toWorld.Transform(hit.m_position, 1.0f);
    m_brush.ApplyDab(&hit, &world, m_options.size, dabFactor, m_strength, m_report.changedArea);
    ++m_report.dabs;
    if (twinPlaced) {
        // A twin that samples the stamp at its vertices' partners keeps the primary's stamp.
        const bool samplesPartners = m_brush.MirrorConfig().MirrorMode() == MirrorConfiguration::kTopological &&
                                     m_brush.IsMaskEnabled(BrushOperation::kMirroredStampMask);
        if (!samplesPartners)
            m_brush.PlaceStamp(twin.m_position, twin.m_normal, m_brush.MirrorConfig().Transform(tangent, 0.0f, hit),
                               m_localSize);
        Vector twinWorld = m_toWorld.Transform(twin.m_position, 1.0f);
        m_brush.ApplyDab(&twin, &twinWorld, m_options.size, dabFactor, m_strength, m_report.changedArea);
        ++m_report.mirroredDabs;
    }
    m_brush.SetPreviousPatchPosition(world);
}

StrokeReport StrokeDriver::End() {
    if (!InStroke()) return {};
    m_level = nullptr;
    m_brush.EndStroke();
    return m_report;
}

StrokeReport StrokeDriver::Run(SubdivisionLevel& level, const std::vector<Vector>& path,
                               const StrokeOptions& options) {
    if (path.size() > kMostPathPoints)
        Refuse(QStringLiteral("a stroke takes at most %1 points; this path has %2").arg(kMostPathPoints).arg(path.size()));
    if (!m_brush.PlacesSingleStamp() && DabCount(path, options.size) > kMostDabs)
        Refuse(QStringLiteral("a stroke places at most %1 dabs; this path at size %2 and a spacing of %3 would place more")
                   .arg(kMostDabs)
                   .arg(double(options.size))
                   .arg(double(Spacing(options.size))));
    Begin(level, options);
    for (const Vector& point : path) AddPoint(point);
    return End();
}

void StrokeDriver::RunWholeMesh(SubdivisionLevel& level, float amount, bool fromCamera,
                                BrushOperation::Modifier modifier) {
    m_brush.SetPreviousPatchPosition({0, 0, 0});
    m_brush.BeginStroke(&level, modifier, BrushOperation::kTriggerDrag);
    m_brush.ApplyToWholeMesh(&level, 0.0f, amount, fromCamera);
    m_brush.EndStroke();
}

}  // namespace tarnix
