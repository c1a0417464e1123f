#include "demo.h"

#include <nlohmann/json.hpp>

#include <QDir>
#include <QSaveFile>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "builtin_shapes.h"
#include "mesh_files.h"
#include "preview.h"
#include "tarnix/brush_operation.h"
#include "tarnix/class_desc.h"
#include "tarnix/error.h"
#include "tarnix/kernel.h"
#include "tarnix/module_loader.h"
#include "tarnix/stroke_driver.h"

namespace corvane_sculpt {
namespace {

[[noreturn]] void Fail(const QString& text) {
    tarnix::Error::Raise(tarnix::Error::kCodeInvalidArgument, "corvane-sculpt", "apps/corvane-sculpt/demo.cpp", 0, text);
}

struct StrokeReport {
    QString tool;
    uint32_t dabs;
    uint64_t processed, updates, moved;
    double maxDisplacement, seconds, rate;
};

// The rate of the module's last performance log line (NaN when there is none).
double LastLoggedRate() {
    const QString marker = QStringLiteral("**** Sculpt Brush Performance - ");
    const auto lines = tarnix::Kernel::LogLines();
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const int at = line->indexOf(marker);
        if (at >= 0) return line->mid(at + marker.size()).section(QLatin1Char(' '), 0, 0).toDouble();
    }
    return std::nan("");
}

// Per tool: the strength a sculptor would start with on a unit-sized cube.
float StrengthFor(const QString& tool) {
    static const std::map<QString, float> strengths = {
        {"Smooth", 100.0f}, {"Relax", 100.0f}, {"Amplify", 60.0f}, {"Flatten", 80.0f}, {"Scrape", 80.0f},
        {"Fill", 80.0f},    {"Wax", 0.6f},     {"Pinch", 8.0f},    {"Smear", 0.03f}};
    const auto found = strengths.find(tool);
    return found == strengths.end() ? 0.04f : found->second;
}

void WriteReport(const QString& path, const tarnix::Mesh& mesh, const std::vector<StrokeReport>& strokes) {
    nlohmann::json report;
    report["vertices"] = mesh.VertexCount();
    report["faces"] = mesh.m_faceCount;
    report["strokes"] = nlohmann::json::array();
    for (const StrokeReport& s : strokes)
        report["strokes"].push_back({{"tool", s.tool.toStdString()}, {"dabs", s.dabs},
                                     {"processed_vertices", s.processed}, {"vertex_updates", s.updates},
                                     {"moved_vertices", s.moved}, {"max_displacement", s.maxDisplacement},
                                     {"seconds", s.seconds}, {"mega_vertices_per_second", s.rate}});
    QSaveFile file(path);
    const QByteArray text = QByteArray::fromStdString(report.dump(2) + "\n");
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        Fail(QStringLiteral("%1: cannot write the report").arg(path));
}

}  // namespace

void RunDemo(const DemoOptions& options, QTextStream& out) {
    std::vector<std::unique_ptr<tarnix::LoadedModule>> modules;
    for (const QString& file : QDir(options.pluginDirectory).entryList({QStringLiteral("*.so")}, QDir::Files, QDir::Name))
        modules.push_back(std::make_unique<tarnix::LoadedModule>(QDir(options.pluginDirectory).absoluteFilePath(file)));
    const tarnix::ClassDesc* brushClass = tarnix::ClassDesc::Find(QStringLiteral("Corvane"));
    if (!brushClass) Fail(QStringLiteral("no Corvane module in %1").arg(options.pluginDirectory));
    std::unique_ptr<tarnix::Node> node(brushClass->Create(1));
    auto* brush = dynamic_cast<tarnix::BrushOperation*>(node.get());

    out << "Subdividing a cube " << options.levels << " times..." << Qt::endl;
    auto geometry = shapes::Subdivided(shapes::Cube(), options.levels);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    out << "  " << level->VertexCount() << " vertices, " << level->m_faceCount << " quads" << Qt::endl;
    // The strokes are made looking straight at the front face; the picture is taken from aside.
    const tarnix::Vector eye(2.2f, 1.6f, 4.0f);
    tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 5}, {0, 0, 0});

    std::vector<tarnix::BrushConfiguration*> tools;
    for (uint32_t i = 0; i < tarnix::BrushOperation::ConfigurationCount(); ++i)
        if (tarnix::BrushOperation::Configuration(i)->OperationClass() == brushClass)
            tools.push_back(tarnix::BrushOperation::Configuration(i));
    std::vector<StrokeReport> strokes;
    std::vector<tarnix::Vector> before(level->VertexCount());
    for (size_t t = 0; t < tools.size(); ++t) {
        brush->SetActiveConfiguration(tools[t]);
        const QString tool = tools[t]->Name();
        // The tools take turns on a 4 x 4 grid of short strokes over the front face.
        const float x = -0.48f + 0.32f * float(t % 4), y = 0.48f - 0.32f * float(t / 4);
        for (uint32_t v = 0; v < level->VertexCount(); ++v) before[v] = level->VertexPosition(v);
        tarnix::StrokeOptions stroke;
        stroke.size = 0.16f;
        stroke.strength = StrengthFor(tool);
        const auto start = std::chrono::steady_clock::now();
        const tarnix::StrokeReport placed =
            tarnix::StrokeDriver(*brush).Run(*level, {{x - 0.1f, y, 2.0f}, {x + 0.1f, y + 0.04f, 2.0f}}, stroke);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        uint64_t moved = 0;
        double largest = 0.0;
        for (uint32_t v = 0; v < level->VertexCount(); ++v) {
            const double d = (level->VertexPosition(v) - before[v]).Length();
            moved += d > 0.0;
            largest = std::max(largest, d);
        }
        const auto statistics = brush->LastStrokeStatistics();
        strokes.push_back({tool, placed.dabs, statistics.processedVertices, statistics.vertexUpdates, moved, largest,
                           seconds, LastLoggedRate()});
        out << "[" << t + 1 << "/" << tools.size() << "] " << tool << ": " << placed.dabs << " dabs, " << moved
            << " vertices moved" << Qt::endl;
    }

    out << "\n" << qSetFieldWidth(10) << Qt::left << "tool" << qSetFieldWidth(6) << Qt::right << "dabs"
        << qSetFieldWidth(12) << "processed" << qSetFieldWidth(10) << "moved" << qSetFieldWidth(12) << "max move"
        << qSetFieldWidth(10) << "seconds" << qSetFieldWidth(10) << "Mverts/s" << qSetFieldWidth(0) << "\n";
    for (const StrokeReport& s : strokes)
        out << qSetFieldWidth(10) << Qt::left << s.tool << qSetFieldWidth(6) << Qt::right << s.dabs
            << qSetFieldWidth(12) << s.processed << qSetFieldWidth(10) << s.moved << qSetFieldWidth(12)
            << QString::number(s.maxDisplacement, 'f', 4) << qSetFieldWidth(10) << QString::number(s.seconds, 'f', 3)
            << qSetFieldWidth(10) << QString::number(s.rate, 'f', 1) << qSetFieldWidth(0) << "\n";

    if (!QDir().mkpath(options.outputDirectory)) Fail(QStringLiteral("%1: cannot make the folder").arg(options.outputDirectory));
    const QDir folder(options.outputDirectory);
    out << "\nWriting " << folder.filePath(QStringLiteral("result.obj")) << Qt::endl;
    WriteObj(*level, folder.filePath(QStringLiteral("result.obj")));
    tarnix::Kernel::Scene()->GetCamera().LookAt(eye, {0, 0, 0});
    WritePreview(*level, eye, 800, 600, folder.filePath(QStringLiteral("preview.png")));
    WriteReport(folder.filePath(QStringLiteral("report.json")), *level, strokes);
    out << "Wrote result.obj, preview.png and report.json to " << folder.absolutePath() << Qt::endl;
    node.reset();
    geometry.reset();
}

void PrintMeshInfo(const QString& path, QTextStream& out) {
    const tarnix::PolygonMesh polygons = ReadObj(path);
    QStringList changes;
    std::unique_ptr<tarnix::Geometry> geometry;
    try {
        geometry = tarnix::Geometry::FromPolygons(polygons, &changes);
    } catch (tarnix::Error* error) {
        const QString reason = error->Message();
        tarnix::Error::Dispose(error);
        Fail(QStringLiteral("%1: %2").arg(path, reason));
    }
    const tarnix::SubdivisionLevel* base = geometry->LowestLevel();
    std::map<uint32_t, uint32_t> sizes, valences;
    for (uint32_t size : polygons.faceSizes) ++sizes[size];
    uint32_t border = 0;
    for (uint32_t f = 0; f < base->m_faceCount; ++f)
        for (uint32_t s = 0; s < base->CornersPerFace(); ++s) border += base->EdgeAdjacency(f, s) >= tarnix::Mesh::kOpenBorder;
    for (uint32_t v = 0; v < base->VertexCount(); ++v) {
        uint32_t count = 0;
        base->FacesAroundVertex(v, count);
        ++valences[count];
    }
    out << path << ": " << polygons.positions.size() << " vertices, " << polygons.FaceCount() << " faces\n";
    out << "face sizes:";
    for (const auto& [size, count] : sizes) out << " " << count << " x " << size;
    out << "\nfaces per vertex:";
    for (const auto& [valence, count] : valences) out << " " << count << " x " << valence;
    out << "\nopen edges: " << border << "\n";
    for (const QString& change : changes) out << "cleaned: " << change << "\n";
    out << "sculpted by patches: "
        << (base->m_faceKind == tarnix::Mesh::kQuads ? "yes (all quads)" : "after one subdivision (level 1 is all quads)")
        << "\n";
}

}  // namespace corvane_sculpt
