#include "session_runner.h"

#include <map>

#include <QDir>
#include <QFileInfo>

#include "brush_host.h"
#include "builtin_shapes.h"
#include "mesh_files.h"
#include "preview.h"
#include "report.h"
#include "sculpture.h"
#include "tarnix/error.h"
#include "tarnix/kernel.h"
#include "tarnix/subdivision_level.h"

namespace corvane_apps {
namespace {

[[noreturn]] void Fail(const QString& text) {
    tarnix::Error::Raise(tarnix::Error::kCodeInvalidArgument, "RunSession", "apps/common/session_runner.cpp", 0,
                         text);
}

QString StampFile(const Session& session, const QString& stamp) {
    const QString beside = SessionRelativePath(session, stamp);
    return QFileInfo::exists(beside) ? beside : tarnix::Kernel::ResolveResource(stamp);
}

// Re-raises a Sculpture's complaint with the session file and the place it came from.
template <typename Action>
auto At(const Session& session, const QString& where, Action&& action) {
    try {
        return action();
    } catch (tarnix::Error* error) {
        const QString reason = error->Message();
        tarnix::Error::Dispose(error);
        Fail(QStringLiteral("%1: %2: %3").arg(session.file, where, reason));
    }
}

class SessionRun {
public:
    SessionRun(const Session& session, BrushHost& host, QTextStream& out, QTextStream& warnings)
        : m_session(session), m_host(host), m_sculpture(host), m_out(out), m_warnings(warnings) {}

    void Run(const QString& outputDirectory);

private:
    void CheckStamps() const;
    void BuildMesh();
    void PlaceAndPrepare();
    void Sculpt(const Step& step);
    void TakeBack(const Step& step);
    void ChangeLayer(const Step& step);
    void LookFor(const StrokeStep& stroke);
    void FrameThePicture();
    Picture TakePicture(const QString& when);

    const Session& m_session;
    BrushHost& m_host;
    Sculpture m_sculpture;
    QTextStream& m_out;
    QTextStream& m_warnings;
    SessionReport m_report;
    // The picture's views, fixed before the first step so that before and after compare.
    View m_view;
    // What each stroke step did, by its index: tiles look at it.
    std::map<size_t, StrokeFigures> m_stepFigures;
};

void SessionRun::CheckStamps() const {
    for (const Step& step : m_session.steps)
        if (step.stroke.stamp && !step.stroke.stamp->isEmpty() &&
            !QFileInfo::exists(StampFile(m_session, *step.stroke.stamp)))
            Fail(QStringLiteral("%1: %2.stroke.stamp: no file \"%3\" beside the session or among the resources")
                     .arg(m_session.file, step.where, *step.stroke.stamp));
}

void SessionRun::BuildMesh() {
    MeshFile file;
    tarnix::PolygonMesh& polygons = file.polygons;
    QString name = m_session.shape;
    if (!shapes::Named(m_session.shape, polygons)) {
        name = SessionRelativePath(m_session, m_session.meshPath);
        file = At(m_session, QStringLiteral("mesh.") + m_session.meshPathKey, [&] { return ReadMesh(name); });
    }
    m_out << "Mesh: " << name << ", subdivided " << m_session.subdivide << " times..." << Qt::endl;
    const uint64_t faces = Sculpture::FacesAfter(polygons, m_session.subdivide);
    if (faces > Sculpture::kMostFaces)
        Fail(QStringLiteral("%1: mesh.subdivide: %2 subdivisions of %3 would make %4 faces, more than %5")
                 .arg(m_session.file)
                 .arg(m_session.subdivide)
                 .arg(name)
                 .arg(faces)
                 .arg(Sculpture::kMostFaces));
    m_sculpture.Load(file, name, m_session.subdivide);
    if (m_session.resultLevel && *m_session.resultLevel >= m_sculpture.LevelCount())
        Fail(QStringLiteral("%1: --level %2: the mesh has levels 0 to %3")
                 .arg(m_session.file)
                 .arg(*m_session.resultLevel)
                 .arg(m_sculpture.LevelCount() - 1));
    const tarnix::SubdivisionLevel& level = m_sculpture.Level();
    m_out << "  " << level.VertexCount() << " vertices, " << level.m_faceCount << " faces" << Qt::endl;
}

void SessionRun::PlaceAndPrepare() {
    m_sculpture.Place(m_session.scale, m_session.rotate, m_session.translate);
    for (const LayerSetup& layer : m_session.layers) m_sculpture.AddLayer(layer, layer.name == m_session.activeLayer);
    for (const FreezeRegion& region : m_session.freeze) m_sculpture.Freeze(region);
    if (!m_session.freeze.empty())
        m_out << "  " << m_sculpture.Level().FrozenVertexCount() << " vertices frozen" << Qt::endl;
    for (const NamedValue& preference : m_session.preferences) BrushHost::SetPreference(preference);
}

// Strokes are placed by casting along the camera's view. Without a camera of its own, a stroke
// looks from its first point at the mesh's centre.
void SessionRun::LookFor(const StrokeStep& stroke) { m_sculpture.LookFor(stroke, m_session.camera, m_view.eye); }

// Without an eye, the picture looks from the front, above and to the right, far enough to show
// the whole mesh; without a target, at the mesh's centre.
void SessionRun::FrameThePicture() {
    const PictureSetup& picture = m_session.picture;
    const tarnix::AxisAlignedBoundingBox box = m_sculpture.WorldBox();
    const tarnix::Vector target = picture.target.value_or(box.Center());
    if (picture.eye) {
        const tarnix::Vector towards = *picture.eye == target ? target - tarnix::Vector(0, 0, 1) : target;
        m_view = {*picture.eye, towards, picture.fovDegrees};
    } else {
        m_view = m_sculpture.DefaultView(picture.fovDegrees);
        m_view.eye = m_view.eye + (target - m_view.target);
        m_view.target = target;
    }
}

// A close view of what a step's stroke moved: from above its mean normal, a little to the
// side and from above, so that the light rakes over the relief; far enough that the field of
// view holds the moved area, or `zoom` times closer.
View StrokeView(const StrokeFigures& figures, const PictureTile& tile) {
    const tarnix::AxisAlignedBoundingBox& area = figures.movedArea;
    const tarnix::Vector aside = std::abs(figures.movedNormal.y) > 0.9f ? tarnix::Vector(0.3f, 0.0f, 0.4f)
                                                                        : tarnix::Vector(0.3f, 0.4f, 0.0f);
    View view = ViewOfBox(area, (figures.movedNormal + aside) * -1.0f, tile.fovDegrees);
    view.eye = view.target + (view.eye - view.target) * (1.0f / tile.zoom);
    view.wireframe = tile.wireframe;
    return view;
}

// The picture (or the contact sheet of its tiles) as the mesh is now; what keeps a view from
// showing the mesh is said, not passed over.
Picture SessionRun::TakePicture(const QString& when) {
    const PictureSetup& setup = m_session.picture;
    const auto warn = [&](const QString& where, const QString& problem) {
        m_warnings << "warning: " << m_session.file << ": " << where << " (" << when << "): " << problem << Qt::endl;
    };
    if (setup.tiles.empty()) {
        Picture picture = m_sculpture.Render(m_view, setup.width, setup.height);
        if (!picture.problem.isEmpty()) warn(QStringLiteral("picture"), picture.problem);
        return picture;
    }
    std::vector<Picture> tiles;
    for (size_t i = 0; i < setup.tiles.size(); ++i) {
        const PictureTile& view = setup.tiles[i];
        const QString where = QStringLiteral("picture.tiles[%1]").arg(i);
        Picture tile;
        if (view.step && m_stepFigures[*view.step].movedVertices == 0) {
            tile = Picture{setup.width, setup.height, std::vector<unsigned char>(size_t(setup.width) * setup.height * 3, 40), {}};
            warn(where, QStringLiteral("steps[%1] moved nothing to look at").arg(*view.step));
        } else {
            const View camera = view.step ? StrokeView(m_stepFigures[*view.step], view)
                                          : View{view.eye, view.target, view.fovDegrees, view.wireframe};
            tile = m_sculpture.Render(camera, setup.width, setup.height);
            if (!tile.problem.isEmpty()) warn(where, tile.problem);
        }
        if (!setup.tiles[i].label.isEmpty() && !Label(tile, setup.tiles[i].label))
            warn(where, QStringLiteral("no font for the label (DejaVu Sans, Debian's fonts-dejavu-core)"));
        tiles.push_back(std::move(tile));
    }
    return ContactSheet(tiles, std::min(setup.columns, int(tiles.size())));
}

void SessionRun::Sculpt(const Step& step) {
    StrokeStep stroke = step.stroke;
    if (stroke.stamp && !stroke.stamp->isEmpty()) stroke.stamp = StampFile(m_session, *stroke.stamp);
    At(m_session, step.where, [&] { m_sculpture.Prepare(stroke); });
    LookFor(stroke);
    StrokeFigures figures = m_sculpture.Apply(stroke, step.kind == Step::kWholeMesh);
    figures.step = step.where;
    m_out << stroke.tool << (figures.wholeMesh ? " over the whole mesh" : "") << ": " << figures.dabs << " dabs, "
          << figures.movedVertices << " vertices moved, ";
    if (figures.addedVertices != 0) m_out << figures.addedVertices << " vertices added, ";
    m_out << QString::number(figures.seconds, 'f', 3) << " s" << Qt::endl;
    if (!figures.warning.isEmpty())
        m_warnings << "warning: " << m_session.file << ": " << step.where << ": " << figures.warning << Qt::endl;
    m_report.strokes.push_back(figures);
}

void SessionRun::TakeBack(const Step& step) {
    const bool undo = step.kind == Step::kUndo;
    const size_t available = undo ? m_sculpture.UndoCount() : m_sculpture.RedoCount();
    if (available < step.count)
        Fail(QStringLiteral("%1: %2: %3 %4, but only %5 to %3")
                 .arg(m_session.file, step.where, undo ? QStringLiteral("undo") : QStringLiteral("redo"))
                 .arg(step.count)
                 .arg(available));
    for (uint32_t i = 0; i < step.count; ++i) undo ? m_sculpture.Undo() : m_sculpture.Redo();
    (undo ? m_report.undone : m_report.redone) += step.count;
    m_out << (undo ? "undo " : "redo ") << step.count << Qt::endl;
}

void SessionRun::ChangeLayer(const Step& step) {
    m_sculpture.ActivateLayer(step.layer, step.layerStrength);
    m_out << "layer " << (step.layer.isEmpty() ? QStringLiteral("(base)") : step.layer) << Qt::endl;
}

void SessionRun::Run(const QString& outputDirectory) {
    m_host.CheckSession(m_session);
    CheckStamps();
    if (!MeshFormatsWritten().contains(QFileInfo(m_session.resultName).suffix().toLower()))
        Fail(QStringLiteral("%1: cannot write \"%2\" (formats: %3)")
                 .arg(m_session.file, m_session.resultName, MeshFormatsWritten().join(QStringLiteral(", "))));
    BuildMesh();
    PlaceAndPrepare();
    FrameThePicture();
    Picture before;
    if (m_session.picture.beforeAndAfter) before = TakePicture(QStringLiteral("before"));

    for (size_t i = 0; i < m_session.steps.size(); ++i) {
        const Step& step = m_session.steps[i];
        m_out << "[" << i + 1 << "/" << m_session.steps.size() << "] ";
        switch (step.kind) {
            case Step::kStroke:
            case Step::kWholeMesh:
                Sculpt(step);
                m_stepFigures[i] = m_report.strokes.back();
                break;
            case Step::kUndo:
            case Step::kRedo: TakeBack(step); break;
            case Step::kLayer: ChangeLayer(step); break;
        }
    }
    m_report.session = m_session.file;
    m_report.faces = m_sculpture.Geometry().Level(m_session.resultLevel.value_or(m_sculpture.Level().Index()))->m_faceCount;
    PrintSummary(m_report, m_out);

    if (!QDir().mkpath(outputDirectory)) Fail(QStringLiteral("%1: cannot make the folder").arg(outputDirectory));
    const QDir folder(outputDirectory);
    m_report.vertices = m_sculpture.Write(folder.filePath(m_session.resultName), m_session.resultLevel);
    Picture after = TakePicture(QStringLiteral("after"));
    WritePng(m_session.picture.beforeAndAfter ? SideBySide(before, after) : after,
             folder.filePath(QStringLiteral("preview.png")));
    WriteReport(m_report, folder.filePath(QStringLiteral("report.json")));
    m_out << "\nWrote " << m_session.resultName << ", preview.png and report.json to " << folder.absolutePath() << Qt::endl;
}

}  // namespace

void RunSession(const Session& session, BrushHost& host, const QString& outputDirectory, QTextStream& out,
                QTextStream& warnings) {
    SessionRun(session, host, out, warnings).Run(outputDirectory);
}

}  // namespace corvane_apps
