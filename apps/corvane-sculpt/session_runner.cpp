#include "session_runner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include <QDir>
#include <QFileInfo>

#include "brush_host.h"
#include "builtin_shapes.h"
#include "mesh_files.h"
#include "preview.h"
#include "report.h"
#include "tarnix/brush_operation.h"
#include "tarnix/error.h"
#include "tarnix/geometry.h"
#include "tarnix/kernel.h"
#include "tarnix/scene.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/stroke_driver.h"

namespace corvane_sculpt {
namespace {

// Subdivision stops short of what the machine's memory holds (about 2 GiB of mesh).
constexpr uint64_t kMostFaces = 6ull << 20;

[[noreturn]] void Fail(const QString& text) {
    tarnix::Error::Raise(tarnix::Error::kCodeInvalidArgument, "RunSession", "apps/corvane-sculpt/session_runner.cpp", 0,
                         text);
}

QString StampFile(const Session& session, const QString& stamp) {
    const QString beside = SessionRelativePath(session, stamp);
    return QFileInfo::exists(beside) ? beside : tarnix::Kernel::ResolveResource(stamp);
}

class SessionRun {
public:
    SessionRun(const Session& session, BrushHost& host, QTextStream& out)
        : m_session(session), m_host(host), m_brush(host.Brush()), m_out(out) {}

    void Run(const QString& outputDirectory);

private:
    void CheckStamps() const;
    void BuildMesh();
    void PlaceAndPrepare();
    void Sculpt(const Step& step);
    void PrepareBrush(const StrokeStep& stroke, const QString& where);
    void TakeBack(const Step& step);
    void ChangeLayer(const Step& step);
    void LookFor(const StrokeStep& stroke);
    tarnix::AxisAlignedBoundingBox WorldBox() const;
    tarnix::Vector PictureEye() const;

    const Session& m_session;
    BrushHost& m_host;
    tarnix::BrushOperation& m_brush;
    QTextStream& m_out;
    std::unique_ptr<tarnix::Geometry> m_geometry;
    tarnix::SubdivisionLevel* m_level = nullptr;
    SessionReport m_report;
};

void SessionRun::CheckStamps() const {
    for (const Step& step : m_session.steps)
        if (step.stroke.stamp && !step.stroke.stamp->isEmpty() &&
            !QFileInfo::exists(StampFile(m_session, *step.stroke.stamp)))
            Fail(QStringLiteral("%1: %2.stroke.stamp: no file \"%3\" beside the session or among the resources")
                     .arg(m_session.file, step.where, *step.stroke.stamp));
}

void SessionRun::BuildMesh() {
    tarnix::PolygonMesh polygons;
    QString name = m_session.shape;
    if (!shapes::Named(m_session.shape, polygons)) {
        name = SessionRelativePath(m_session, m_session.objPath);
        try {
            polygons = ReadObj(name);
        } catch (tarnix::Error* error) {
            const QString reason = error->Message();
            tarnix::Error::Dispose(error);
            Fail(QStringLiteral("%1: mesh.obj: %2").arg(m_session.file, reason));
        }
    }
    // Every polygon becomes as many quads as it has corners, then each quad four.
    uint64_t faces = 0;
    for (uint32_t size : polygons.faceSizes) faces += size;
    faces = m_session.subdivide == 0 ? polygons.FaceCount() : faces << (2 * (m_session.subdivide - 1));
    if (faces > kMostFaces)
        Fail(QStringLiteral("%1: mesh.subdivide: %2 subdivisions of %3 would make %4 faces, more than %5")
                 .arg(m_session.file).arg(m_session.subdivide).arg(name).arg(faces).arg(kMostFaces));
    m_out << "Mesh: " << name << ", subdivided " << m_session.subdivide << " times..." << Qt::endl;
    m_geometry = GeometryFromPolygons(polygons, name);
    m_geometry->Subdivide(m_session.subdivide);
    m_level = m_geometry->HighestLevel();
    // The spatial index is built with the mesh, as a host does on loading, not by the first stroke.
    m_level->Grid(true);
    m_out << "  " << m_level->VertexCount() << " vertices, " << m_level->m_faceCount << " faces" << Qt::endl;
}

void SessionRun::PlaceAndPrepare() {
    tarnix::Transformation& placement = m_geometry->GetTransformation();
    constexpr float kRadians = 3.14159265358979f / 180.0f;
    placement.SetScale(m_session.scale);
    placement.SetRotation(tarnix::Matrix::Rotation({1, 0, 0}, m_session.rotate.x * kRadians) *
                          tarnix::Matrix::Rotation({0, 1, 0}, m_session.rotate.y * kRadians) *
                          tarnix::Matrix::Rotation({0, 0, 1}, m_session.rotate.z * kRadians));
    placement.SetTranslation(m_session.translate);

    for (uint32_t i = 0; i < m_session.layers.size(); ++i) {
        tarnix::SculptLayer* layer = m_level->AddLayer(m_session.layers[i].name);
        layer->SetStrength(m_session.layers[i].strength);
        layer->SetLocked(m_session.layers[i].locked);
        if (m_session.layers[i].name == m_session.activeLayer) m_level->SetActiveLayer(i);
    }
    const tarnix::Matrix& toWorld = placement.MeshToWorld();
    for (const FreezeRegion& region : m_session.freeze) {
        const auto strength = uint8_t(std::lround(region.strength * tarnix::Mesh::kFreezeStrengthMask));
        const tarnix::AxisAlignedBoundingBox box(region.centre, region.corner);
        for (uint32_t v = 0; v < m_level->VertexCount(); ++v) {
            const tarnix::Vector p = toWorld.Transform(m_level->VertexPosition(v), 1.0f);
            const bool inside = region.box ? box.IsContaining(p) : (p - region.centre).Length() <= region.radius;
            const uint8_t held = m_level->m_vertices[v].freeze & tarnix::Mesh::kFreezeStrengthMask;
            if (inside && strength > held) m_level->SetFreeze(v, strength);
        }
    }
    if (!m_session.freeze.empty()) m_out << "  " << m_level->FrozenVertexCount() << " vertices frozen" << Qt::endl;
    for (const NamedValue& preference : m_session.preferences) BrushHost::SetPreference(preference);
}

tarnix::AxisAlignedBoundingBox SessionRun::WorldBox() const {
    return m_level->BoundingBox().Transformed(m_geometry->GetTransformation().MeshToWorld());
}

// Strokes are placed by casting along the camera's view. Without a camera of its own, a stroke
// looks from its first point at the mesh's centre.
void SessionRun::LookFor(const StrokeStep& stroke) {
    const std::optional<CameraPlacement>& camera = stroke.camera ? stroke.camera : m_session.camera;
    if (camera) {
        tarnix::Kernel::Scene()->GetCamera().LookAt(camera->eye, camera->target);
        return;
    }
    const tarnix::Vector centre = WorldBox().Center();
    const tarnix::Vector eye = stroke.path.empty() ? PictureEye() : stroke.path.front();
    tarnix::Kernel::Scene()->GetCamera().LookAt(eye == centre ? centre + tarnix::Vector(0, 0, 1) : eye, centre);
}

tarnix::Vector SessionRun::PictureEye() const {
    if (m_session.picture.eye) return *m_session.picture.eye;
    const tarnix::AxisAlignedBoundingBox box = WorldBox();
    return box.Center() + tarnix::Vector(2.2f, 1.6f, 4.0f).Normalized() * (2.0f * box.Size().Length());
}

void SessionRun::PrepareBrush(const StrokeStep& stroke, const QString& where) {
    // Activating the preset in use again would give it its first-use settings once more
    // (stamp options, falloff, ...) until another tool has been used.
    if (m_brush.ActiveConfiguration() != m_host.Tool(stroke.tool)) m_brush.SetActiveConfiguration(m_host.Tool(stroke.tool));
    // A whole-mesh application takes its amount directly; size and strength are the stroke's.
    if (!stroke.path.empty()) {
        m_brush.SetBrushSize(stroke.size);
        m_brush.SetBrushStrength(stroke.strength);
    }
    if (stroke.falloff) m_brush.SetFalloffIndex(*stroke.falloff);
    if (stroke.falloffType) {
        // A geodesic falloff needs distances measured along the surface; the host's choice
        // sets both, as its falloff menu does.
        m_brush.SetFalloffType(*stroke.falloffType);
        m_brush.m_distanceModeAttr.SetValue(*stroke.falloffType == tarnix::BrushOperation::kFalloffGeodesic ? 1 : 0);
    }
    if (stroke.direction) m_brush.m_directionAttr.SetValue(*stroke.direction);
    m_brush.MirrorConfig().SetMirrorMode(stroke.mirror);
    tarnix::StampConfiguration stamp = m_brush.StampConfig();
    if (stroke.stamp) {
        stamp.m_enabled = !stroke.stamp->isEmpty();
        stamp.m_imagePath = stamp.m_enabled ? StampFile(m_session, *stroke.stamp) : QString();
    }
    stroke.stampOptions.ApplyTo(stamp);
    m_brush.SetStampConfig(stamp);
    if (!m_brush.StampError().isEmpty())
        Fail(QStringLiteral("%1: %2: stamp: %3").arg(m_session.file, where, m_brush.StampError()));
}

void SessionRun::Sculpt(const Step& step) {
    const StrokeStep& stroke = step.stroke;
    PrepareBrush(stroke, step.where);
    for (const NamedValue& attribute : stroke.attributes) m_host.SetAttribute(attribute);
    LookFor(stroke);
    const tarnix::BrushOperation::Modifier modifier = stroke.smooth   ? tarnix::BrushOperation::kModifierSmooth
                                                      : stroke.invert ? tarnix::BrushOperation::kModifierInvert
                                                                      : tarnix::BrushOperation::kModifierNone;
    const uint32_t facesBefore = m_level->m_faceCount;
    std::vector<tarnix::Vector> before(m_level->VertexCount());
    for (uint32_t v = 0; v < m_level->VertexCount(); ++v) before[v] = m_level->VertexPosition(v);
    tarnix::Kernel::ClearLog();

    StrokeFigures figures;
    figures.step = step.where;
    figures.tool = stroke.tool;
    figures.wholeMesh = step.kind == Step::kWholeMesh;
    tarnix::StrokeDriver driver(m_brush);
    const auto start = std::chrono::steady_clock::now();
    if (figures.wholeMesh) {
        driver.RunWholeMesh(*m_level, stroke.strength, stroke.fromCamera, modifier);
        figures.dabs = 1;
    } else {
        tarnix::StrokeOptions options;
        options.size = stroke.size;
        options.strength = stroke.strength;
        options.modifier = modifier;
        options.dabFactor = stroke.pressure;
        const tarnix::StrokeReport placed = driver.Run(*m_level, stroke.path, options);
        figures.dabs = placed.dabs + placed.mirroredDabs;
    }
    figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // A tessellating stroke adds vertices; only those that were there before count as moved.
    for (uint32_t v = 0; v < std::min(m_level->VertexCount(), uint32_t(before.size())); ++v) {
        const double moved = (m_level->VertexPosition(v) - before[v]).Length();
        figures.movedVertices += moved > 0.0;
        figures.maxDisplacement = std::max(figures.maxDisplacement, moved);
    }
    const tarnix::BrushOperation::StrokeStatistics statistics = m_brush.LastStrokeStatistics();
    figures.processedVertices = statistics.processedVertices;
    figures.vertexUpdates = statistics.vertexUpdates;
    figures.megaVerticesPerSecond = LastLoggedRate();
    figures.addedVertices = int64_t(m_level->VertexCount()) - int64_t(before.size());
    // Splits add vertices and merges remove faces, so either count tells that faces changed.
    figures.facesChanged = figures.addedVertices != 0 || m_level->m_faceCount != facesBefore;
    m_out << stroke.tool << (figures.wholeMesh ? " over the whole mesh" : "") << ": " << figures.dabs << " dabs, "
          << figures.movedVertices << " vertices moved, ";
    if (figures.addedVertices != 0) m_out << figures.addedVertices << " vertices added, ";
    m_out << QString::number(figures.seconds, 'f', 3) << " s" << Qt::endl;
    m_report.strokes.push_back(figures);
}

void SessionRun::TakeBack(const Step& step) {
    const bool undo = step.kind == Step::kUndo;
    const size_t available = undo ? m_geometry->UndoCount() : m_geometry->RedoCount();
    if (available < step.count)
        Fail(QStringLiteral("%1: %2: %3 %4, but only %5 to %3")
                 .arg(m_session.file, step.where, undo ? QStringLiteral("undo") : QStringLiteral("redo"))
                 .arg(step.count)
                 .arg(available));
    for (uint32_t i = 0; i < step.count; ++i) undo ? m_geometry->Undo() : m_geometry->Redo();
    (undo ? m_report.undone : m_report.redone) += step.count;
    m_out << (undo ? "undo " : "redo ") << step.count << Qt::endl;
}

void SessionRun::ChangeLayer(const Step& step) {
    uint32_t index = UINT32_MAX;
    for (uint32_t i = 0; i < m_level->LayerCount(); ++i)
        if (m_level->Layer(i)->Name() == step.layer) index = i;
    m_level->SetActiveLayer(index);
    if (step.layerStrength) m_level->Layer(index)->SetStrength(*step.layerStrength);
    m_out << "layer " << (step.layer.isEmpty() ? QStringLiteral("(base)") : step.layer) << Qt::endl;
}

void SessionRun::Run(const QString& outputDirectory) {
    m_host.CheckSession(m_session);
    CheckStamps();
    BuildMesh();
    PlaceAndPrepare();
    Picture before;
    if (m_session.picture.beforeAndAfter)
        before = RenderMesh(*m_level, PictureEye(), m_session.picture.width, m_session.picture.height);

    for (size_t i = 0; i < m_session.steps.size(); ++i) {
        const Step& step = m_session.steps[i];
        m_out << "[" << i + 1 << "/" << m_session.steps.size() << "] ";
        switch (step.kind) {
            case Step::kStroke:
            case Step::kWholeMesh: Sculpt(step); break;
            case Step::kUndo:
            case Step::kRedo: TakeBack(step); break;
            case Step::kLayer: ChangeLayer(step); break;
        }
    }
    m_report.session = m_session.file;
    m_report.faces = m_level->m_faceCount;
    PrintSummary(m_report, m_out);

    if (!QDir().mkpath(outputDirectory)) Fail(QStringLiteral("%1: cannot make the folder").arg(outputDirectory));
    const QDir folder(outputDirectory);
    m_report.vertices = WriteObj(*m_level, folder.filePath(QStringLiteral("result.obj")));
    Picture after = RenderMesh(*m_level, PictureEye(), m_session.picture.width, m_session.picture.height);
    WritePng(m_session.picture.beforeAndAfter ? SideBySide(before, after) : after,
             folder.filePath(QStringLiteral("preview.png")));
    WriteReport(m_report, folder.filePath(QStringLiteral("report.json")));
    m_out << "\nWrote result.obj, preview.png and report.json to " << folder.absolutePath() << Qt::endl;
}

}  // namespace

void RunSession(const Session& session, BrushHost& host, const QString& outputDirectory, QTextStream& out) {
    SessionRun(session, host, out).Run(outputDirectory);
}

}  // namespace corvane_sculpt
