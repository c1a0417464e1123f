#include "session_runner.h"

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include "brush_host.h"
#include "builtin_shapes.h"
#include "errors.h"
#include "mesh_files.h"
#include "output_folder.h"
#include "preview.h"
#include "project_file.h"
#include "report.h"
#include "sculpture.h"
#include "step_runner.h"
#include "tarnix/brush_operation.h"
#include "tarnix/image.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/stroke_driver.h"
#include "tarnix/subdivision_level.h"
#include "tarnix/transformation.h"

namespace corvane_apps {
namespace {

// Re-raises a Sculpture's complaint with the session file and the place it came from.
template <typename Action>
auto At(const Session& session, const QString& where, Action&& action) {
    return WithContext(QStringLiteral("%1: %2").arg(session.file, where), action);
}

class SessionRun {
public:
    SessionRun(const Session& session, BrushHost& host, Sculpture& sculpture, QTextStream& out, QTextStream& warnings)
        : m_session(session),
          m_host(host),
          m_sculpture(sculpture),
          m_steps(host, sculpture,
                  {QFileInfo(session.file).path(), QStringLiteral("beside the session"), session.camera, std::nullopt}),
          m_out(out),
          m_warnings(warnings) {}

    void Run(const QString& outputDirectory);
    // Checks the session, makes its mesh and plays its steps.
    void Play();
    /// Whether each step made an undoable change (undo and redo steps: no).
    const std::vector<bool>& StepsThatChanged() const { return m_stepChanged; }

private:
    bool IsProject() const { return m_session.shape.isEmpty() && IsProjectFile(m_session.meshPath); }
    void PlayStep(size_t index);
    void PaintFreeze(const Step& step);
    void EditLayer(const Step& step);
    void CheckStamps() const;
    MeshFile ReadMeshFile(QString& name) const;
    void CheckPlacement(const tarnix::PolygonMesh& polygons) const;
    void Rehearse() const;
    void BuildMesh(const MeshFile& file, const QString& name);
    void WriteOutputs(const QString& outputDirectory, const Picture& before);
    void PlaceAndPrepare();
    void Sculpt(const Step& step);
    void TakeBack(const Step& step);
    void ChangeLayer(const Step& step);
    void FrameThePicture();
    Picture TakePicture(const QString& when);
    // Renders the tiles to be taken right after step `step`.
    void TakeTilesAfter(size_t step);

    const Session& m_session;
    BrushHost& m_host;
    Sculpture& m_sculpture;
    StepRunner m_steps;
    QTextStream& m_out;
    QTextStream& m_warnings;
    SessionReport m_report;
    // The picture's views, fixed before the first step so that before and after compare.
    View m_view;
    // What each stroke step did, by its index: tiles look at it.
    std::map<size_t, StrokeFigures> m_stepFigures;
    // Tiles taken right after their step, by tile index.
    std::map<size_t, Picture> m_tilesAfterStep;
    std::vector<bool> m_stepChanged;
    // What a run that writes outputs adds: the folder checked with the rest, and the picture
    // framed (and taken) before the steps.
    std::function<void()> m_checkOutputs, m_beforeSteps;
};

// Every stamp is read once before anything is sculpted, so that an unreadable one is found
// at once (the brush would only find it when its stroke comes).
void SessionRun::CheckStamps() const {
    std::set<QString> read;
    for (const Step& step : m_session.steps) {
        if (!step.stroke.stamp || step.stroke.stamp->isEmpty()) continue;
        const QString where = step.where + (step.kind == Step::kStroke ? QStringLiteral(".stroke.stamp") : QString());
        const QString file = At(m_session, where, [&] { return m_steps.StampFile(*step.stroke.stamp); });
        if (read.insert(file).second) At(m_session, where, [&] { tarnix::Image::Load(file); });
    }
}

MeshFile SessionRun::ReadMeshFile(QString& name) const {
    MeshFile file;
    name = m_session.shape;
    // A project is read as the mesh is made, with its brush settings.
    if (IsProject()) {
        name = SessionRelativePath(m_session, m_session.meshPath);
        return file;
    }
    if (!shapes::Named(m_session.shape, file.polygons)) {
        name = SessionRelativePath(m_session, m_session.meshPath);
        file = At(m_session, QStringLiteral("mesh.") + m_session.meshPathKey, [&] { return ReadMesh(name); });
    }
    const uint64_t faces = Sculpture::FacesAfter(file.polygons, m_session.subdivide);
    if (faces > Sculpture::kMostFaces)
        Fail(QStringLiteral("%1: mesh.subdivide: %2 subdivisions of %3 would make %4 faces, more than %5")
                 .arg(m_session.file)
                 .arg(m_session.subdivide)
                 .arg(name)
                 .arg(faces)
                 .arg(Sculpture::kMostFaces));
    if (m_session.resultLevel && *m_session.resultLevel > m_session.subdivide)
        Fail(QStringLiteral("%1: --level %2: the mesh has levels 0 to %3")
                 .arg(m_session.file)
                 .arg(*m_session.resultLevel)
                 .arg(m_session.subdivide));
    return file;
}

// Every position of the session is checked in the space it is used in: the mesh placed in the
// world must stay within the limit, and so must every point, eye and region once carried
// into the mesh's own space (where rays are cast). Subdivision keeps the mesh inside the box
// of its base polygons, so they tell.
void SessionRun::CheckPlacement(const tarnix::PolygonMesh& polygons) const {
    tarnix::Transformation placement;
    Sculpture::Place(placement, m_session.scale, m_session.rotate, m_session.translate);
    const tarnix::Matrix& toMesh = placement.WorldToMesh();
    const auto within = [](const tarnix::Vector& p) {
        return std::fabs(p.x) <= kSessionCoordinateLimit && std::fabs(p.y) <= kSessionCoordinateLimit &&
               std::fabs(p.z) <= kSessionCoordinateLimit;
    };
    const auto fail = [&](const QString& where, const QString& what) {
        Fail(QStringLiteral("%1: %2: %3").arg(m_session.file, where, what));
    };
    const auto check = [&](const QString& where, const tarnix::Vector& world) {
        const tarnix::Vector local = toMesh.Transform(world, 1.0f);
        if (!within(local))
            fail(where, QStringLiteral("(%1, %2, %3) lies beyond %4 in the mesh's own space (scale, rotate, translate)")
                            .arg(double(local.x), 0, 'g', 6)
                            .arg(double(local.y), 0, 'g', 6)
                            .arg(double(local.z), 0, 'g', 6)
                            .arg(kSessionCoordinateLimit, 0, 'g', 6));
    };
    tarnix::AxisAlignedBoundingBox box;
    for (const tarnix::Vector& p : polygons.positions) box.Extend(p);
    const tarnix::AxisAlignedBoundingBox world = box.Transformed(placement.MeshToWorld());
    if (!box.IsEmpty() && (!within(world.Minimum()) || !within(world.Maximum())))
        fail(QStringLiteral("scale"),
             QStringLiteral("the placed mesh reaches beyond %1 in the world").arg(kSessionCoordinateLimit, 0, 'g', 6));
    const auto checkCamera = [&](const QString& where, const std::optional<CameraPlacement>& camera) {
        if (!camera) return;
        check(where + QStringLiteral(".eye"), camera->eye);
        check(where + QStringLiteral(".target"), camera->target);
    };
    checkCamera(QStringLiteral("camera"), m_session.camera);
    if (m_session.picture.eye) check(QStringLiteral("picture.eye"), *m_session.picture.eye);
    for (size_t i = 0; i < m_session.freeze.size(); ++i) {
        const FreezeRegion& region = m_session.freeze[i];
        const QString where = QStringLiteral("freeze[%1]").arg(i);
        check(where, region.centre);
        if (region.box) check(where, region.corner);
    }
    for (const Step& step : m_session.steps) {
        if (step.kind != Step::kStroke && step.kind != Step::kWholeMesh) continue;
        const QString where =
            step.where + (step.kind == Step::kStroke ? QStringLiteral(".stroke") : QStringLiteral(".whole_mesh"));
        checkCamera(where + QStringLiteral(".camera"), step.stroke.camera);
        for (size_t i = 0; i < step.stroke.path.size(); ++i)
            check(QStringLiteral("%1.path[%2]").arg(where).arg(i), step.stroke.path[i]);
        if (step.kind == Step::kStroke && !std::isnormal(toMesh.Transform({step.stroke.size, 0, 0}, 0.0f).Length()))
            fail(where + QStringLiteral(".size"),
                 QStringLiteral("%1 is too small a size once carried into the mesh's own space")
                     .arg(double(step.stroke.size), 0, 'g', 6));
    }
}

// The strokes are tried on a brush of their own, set up as the run will set up the real one,
// to count their dabs before anything is sculpted; the framework's preset records it changes
// are put back afterwards.
void SessionRun::Rehearse() const {
    struct RecordsBack {
        tarnix::BrushOperation::PresetRecords records = tarnix::BrushOperation::SavedPresetRecords();
        ~RecordsBack() { tarnix::BrushOperation::RestorePresetRecords(std::move(records)); }
    } recordsBack;
    // A brush of each class the strokes' tools belong to, as the host holds one of each.
    std::map<const tarnix::ClassDesc*, std::unique_ptr<tarnix::Node>> brushes;
    for (const Step& step : m_session.steps) {
        if (step.kind != Step::kStroke && step.kind != Step::kWholeMesh) continue;
        const StrokeStep stroke = m_steps.WithStampFile(step.stroke);
        const tarnix::BrushConfiguration* tool = m_host.Tool(stroke.tool);
        std::unique_ptr<tarnix::Node>& node = brushes[tool ? tool->OperationClass() : nullptr];
        if (!node) node = m_host.MakeBrush(tool);
        auto& brush = dynamic_cast<tarnix::BrushOperation&>(*node);
        At(m_session, step.where, [&] { Sculpture::PrepareBrush(m_host, brush, stroke); });
        // A brush that follows the pointer places a dab per point, which the point bound holds.
        if (step.kind != Step::kStroke || brush.PlacesSingleStamp() || !brush.SpacesDabs()) continue;
        const tarnix::StrokeDriver driver(brush);
        if (driver.DabCount(stroke.path, stroke.size) > tarnix::StrokeDriver::kMostDabs)
            Fail(
                QStringLiteral("%1: %2.stroke.path: the stroke would place more than %3 dabs (size %4, a dab every %5)")
                    .arg(m_session.file, step.where)
                    .arg(tarnix::StrokeDriver::kMostDabs)
                    .arg(double(stroke.size), 0, 'g', 6)
                    .arg(double(driver.Spacing(stroke.size)), 0, 'g', 6));
    }
}

void SessionRun::BuildMesh(const MeshFile& file, const QString& name) {
    if (IsProject()) {
        m_out << "Project: " << name << "..." << Qt::endl;
        At(m_session, QStringLiteral("mesh.file"), [&] { ReadProject(name, m_sculpture, m_host); });
    } else {
        m_out << "Mesh: " << name << ", subdivided " << m_session.subdivide << " times..." << Qt::endl;
        m_sculpture.Load(file, name, m_session.subdivide);
    }
    const tarnix::SubdivisionLevel& level = m_sculpture.Level();
    m_out << "  " << level.VertexCount() << " vertices, " << level.m_faceCount << " faces" << Qt::endl;
}

void SessionRun::PlaceAndPrepare() {
    // A project keeps its own placement.
    if (!IsProject()) m_sculpture.Place(m_session.scale, m_session.rotate, m_session.translate);
    for (const LayerSetup& layer : m_session.layers) m_sculpture.AddLayer(layer, layer.name == m_session.activeLayer);
    for (const FreezeRegion& region : m_session.freeze) m_sculpture.Freeze(region);
    if (!m_session.freeze.empty())
        m_out << "  " << m_sculpture.Level().FrozenVertexCount() << " vertices frozen" << Qt::endl;
    for (const NamedValue& preference : m_session.preferences) BrushHost::SetPreference(preference);
}

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
// view holds the moved area (at least a brush radius across, about its middle: a stroke that
// moved a vertex or a thin line is still seen from a distance), or `zoom` times closer.
View StrokeView(const StrokeFigures& figures, const PictureTile& tile, float radius) {
    tarnix::AxisAlignedBoundingBox area = figures.movedArea;
    const tarnix::Vector middle = area.Center(), reach = tarnix::Vector(1, 1, 1) * (0.5f * radius);
    if (radius > 0.0f) {
        area.Extend(middle - reach);
        area.Extend(middle + reach);
    }
    const tarnix::Vector aside =
        std::abs(figures.movedNormal.y) > 0.9f ? tarnix::Vector(0.3f, 0.0f, 0.4f) : tarnix::Vector(0.3f, 0.4f, 0.0f);
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
        if (const auto taken = m_tilesAfterStep.find(i); taken != m_tilesAfterStep.end()) {
            tile = taken->second;
        } else if (view.step && m_stepFigures[*view.step].movedVertices == 0) {
            tile = Picture{
                setup.width, setup.height, std::vector<unsigned char>(size_t(setup.width) * setup.height * 3, 40), {}};
            warn(where, QStringLiteral("steps[%1] moved nothing to look at").arg(*view.step));
        } else {
            const View camera =
                view.step ? StrokeView(m_stepFigures[*view.step], view, m_session.steps[*view.step].stroke.size)
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

void SessionRun::TakeTilesAfter(size_t step) {
    const PictureSetup& setup = m_session.picture;
    for (size_t i = 0; i < setup.tiles.size(); ++i) {
        const PictureTile& view = setup.tiles[i];
        if (!view.rightAfterStep || view.step != step || m_stepFigures[step].movedVertices == 0) continue;
        m_tilesAfterStep[i] = m_sculpture.Render(
            StrokeView(m_stepFigures[step], view, m_session.steps[step].stroke.size), setup.width, setup.height);
    }
}

void SessionRun::Sculpt(const Step& step) {
    const StrokeFigures figures = At(m_session, step.where, [&] { return m_steps.Sculpt(step); });
    m_out << step.stroke.tool << (figures.wholeMesh ? " over the whole mesh" : "") << ": " << figures.dabs << " dabs, "
          << figures.movedVertices << " vertices moved, ";
    if (figures.addedVertices != 0) m_out << figures.addedVertices << " vertices added, ";
    m_out << QString::number(figures.seconds, 'f', 3) << " s" << Qt::endl;
    if (!figures.warning.isEmpty())
        m_warnings << "warning: " << m_session.file << ": " << step.where << ": " << figures.warning << Qt::endl;
    m_report.strokes.push_back(figures);
}

void SessionRun::TakeBack(const Step& step) {
    const bool undo = step.kind == Step::kUndo;
    At(m_session, step.where, [&] { m_steps.TakeBack(step); });
    (undo ? m_report.undone : m_report.redone) += step.count;
    m_out << (undo ? "undo " : "redo ") << step.count << Qt::endl;
}

void SessionRun::ChangeLayer(const Step& step) {
    if (!m_sculpture.ActivateLayer(step.layer, step.layerStrength))
        Fail(QStringLiteral("%1: %2: no layer \"%3\" on the level sculpted")
                 .arg(m_session.file, step.where, step.layer));
    m_out << "layer " << (step.layer.isEmpty() ? QStringLiteral("(base)") : step.layer) << Qt::endl;
}

// The freeze brush along the path, each point at its pressure, as one change.
void SessionRun::PaintFreeze(const Step& step) {
    const FreezeStroke& freeze = step.freeze;
    for (size_t i = 0; i < freeze.path.size(); ++i) {
        const float pressure = i < freeze.pressures.size() ? freeze.pressures[i] : 1.0f;
        m_sculpture.PaintFreeze(freeze.path[i], freeze.size, pressure * freeze.strength / 100.0f, freeze.thaw);
    }
    m_sculpture.CommitEdit();
    m_out << (freeze.thaw ? "thaw" : "freeze") << ": " << m_sculpture.Level().FrozenVertexCount() << " vertices frozen"
          << Qt::endl;
}

void SessionRun::EditLayer(const Step& step) {
    const std::optional<uint32_t> index = m_sculpture.LayerIndex(step.layer);
    if (step.kind != Step::kAddLayer && !index)
        Fail(QStringLiteral("%1: %2: no layer \"%3\" on the level sculpted")
                 .arg(m_session.file, step.where, step.layer));
    switch (step.kind) {
        case Step::kAddLayer:
            m_sculpture.AddLayer(step.added, true);
            break;
        case Step::kRenameLayer:
            m_sculpture.RenameLayer(*index, step.newName);
            break;
        case Step::kLockLayer:
            m_sculpture.Level().Layer(*index)->SetLocked(step.locked);
            break;
        case Step::kLayerStrength:
            m_sculpture.SetLayerStrength(*index, step.layerStrength.value_or(1.0f));
            break;
        default:
            break;
    }
    m_out << "layer " << (step.kind == Step::kAddLayer ? step.added.name : step.layer) << Qt::endl;
}

void SessionRun::PlayStep(size_t index) {
    const Step& step = m_session.steps[index];
    m_out << "[" << index + 1 << "/" << m_session.steps.size() << "] ";
    switch (step.kind) {
        case Step::kStroke:
        case Step::kWholeMesh:
            Sculpt(step);
            m_stepFigures[index] = m_report.strokes.back();
            break;
        case Step::kUndo:
        case Step::kRedo:
            TakeBack(step);
            break;
        case Step::kLayer:
            ChangeLayer(step);
            break;
        case Step::kSubdivide:
            At(m_session, step.where, [&] { m_sculpture.Subdivide(step.count); });
            m_out << "subdivided: " << m_sculpture.Level().VertexCount() << " vertices" << Qt::endl;
            break;
        case Step::kLevel:
            At(m_session, step.where, [&] { m_sculpture.SculptLevel(step.count); });
            m_out << "level " << step.count << Qt::endl;
            break;
        case Step::kFreezeStroke:
            PaintFreeze(step);
            break;
        case Step::kClearFreeze:
        case Step::kInvertFreeze:
            step.kind == Step::kClearFreeze ? m_sculpture.ClearFreeze() : m_sculpture.InvertFreeze();
            m_out << (step.kind == Step::kClearFreeze ? "freeze cleared" : "freeze inverted") << Qt::endl;
            break;
        case Step::kAddLayer:
        case Step::kRenameLayer:
        case Step::kLockLayer:
        case Step::kLayerStrength:
            EditLayer(step);
            break;
        case Step::kPreferences:
            for (const NamedValue& preference : step.preferences) BrushHost::SetPreference(preference);
            m_out << "preferences" << Qt::endl;
            break;
    }
}

// The folder must be one that can be made and written to, found before anything is sculpted;
// nothing is made in it until the outputs are written.
void CheckOutputFolder(const QString& outputDirectory) {
    QFileInfo existing(QDir(outputDirectory).absolutePath());
    while (!existing.exists()) existing = QFileInfo(existing.absolutePath());
    if (!existing.isDir())
        Fail(
            QStringLiteral("%1: cannot make the folder: %2 is not a folder").arg(outputDirectory, existing.filePath()));
    QTemporaryFile probe(QDir(existing.filePath()).filePath(QStringLiteral(".corvane-probe-XXXXXX")));
    if (!probe.open()) Fail(QStringLiteral("%1: cannot write there: %2").arg(outputDirectory, probe.errorString()));
}

// The mesh, the picture and the report replace the earlier ones together, or not at all.
void SessionRun::WriteOutputs(const QString& outputDirectory, const Picture& before) {
    OutputFolder outputs(outputDirectory);
    m_report.vertices = m_sculpture.Write(outputs.Staged(m_session.resultName), m_session.resultLevel);
    const Picture after = TakePicture(QStringLiteral("after"));
    // Writing the picture loads the image codec, over 100 MB of libraries: the mesh, done with,
    // goes first, so that the two are never held together.
    m_sculpture.Close();
    WritePng(m_session.picture.beforeAndAfter ? SideBySide(before, after) : after,
             outputs.Staged(QStringLiteral("preview.png")));
    WriteReport(m_report, outputs.Staged(QStringLiteral("report.json")));
    outputs.Commit();
}

void SessionRun::Run(const QString& outputDirectory) {
    if (outputDirectory.isEmpty()) Fail(QStringLiteral("the output folder needs a name"));
    if (outputDirectory.contains(QChar(0)))
        Fail(QStringLiteral("%1: a folder name cannot hold a NUL character").arg(outputDirectory));
    // The outputs go into the folder, side by side: the result's name names a file there.
    const QString result = m_session.resultName;
    if (result.isEmpty() || result.contains(QLatin1Char('/')) || result.contains(QChar(0)) ||
        result == QStringLiteral(".") || result == QStringLiteral(".."))
        Fail(QStringLiteral(
                 "%1: cannot write the result as \"%2\": it is written into the output folder, so give a file "
                 "name without a folder")
                 .arg(m_session.file, result));
    if (QFileInfo(outputDirectory).isDir()) OutputFolder::RecoverInterrupted(outputDirectory);
    if (!MeshFormatsWritten().contains(QFileInfo(m_session.resultName).suffix().toLower()))
        Fail(QStringLiteral("%1: cannot write \"%2\" (formats: %3)")
                 .arg(m_session.file, m_session.resultName, MeshFormatsWritten().join(QStringLiteral(", "))));
    m_checkOutputs = [&] { CheckOutputFolder(outputDirectory); };
    Picture before;
    m_beforeSteps = [&] {
        FrameThePicture();
        if (m_session.picture.beforeAndAfter) before = TakePicture(QStringLiteral("before"));
    };
    Play();
    m_report.session = m_session.file;
    m_report.faces =
        m_sculpture.Geometry().Level(m_session.resultLevel.value_or(m_sculpture.Level().Index()))->m_faceCount;
    PrintSummary(m_report, m_out);
    WriteOutputs(outputDirectory, before);
    m_out << "\nWrote " << m_session.resultName << ", preview.png and report.json to "
          << QDir(outputDirectory).absolutePath() << Qt::endl;
}

void SessionRun::Play() {
    // Everything that can be found without sculpting is found first.
    m_host.CheckSession(m_session);
    CheckStamps();
    {
        // The file as read goes once its mesh is built: the geometry keeps what it needs.
        QString name;
        const MeshFile file = ReadMeshFile(name);
        for (const QString& warning : file.warnings) m_warnings << "warning: " << warning << Qt::endl;
        CheckPlacement(file.polygons);
        Rehearse();
        if (m_checkOutputs) m_checkOutputs();
        BuildMesh(file, name);
    }
    PlaceAndPrepare();
    if (m_beforeSteps) m_beforeSteps();
    // Whole-mesh steps look from where the picture does.
    m_steps.SetWholeMeshEye(m_view.eye);
    m_stepChanged.assign(m_session.steps.size(), false);
    for (size_t i = 0; i < m_session.steps.size(); ++i) {
        const tarnix::MeshChange* latest = m_sculpture.Geometry().LatestChange();
        PlayStep(i);
        TakeTilesAfter(i);
        const Step::Kind kind = m_session.steps[i].kind;
        m_stepChanged[i] =
            kind != Step::kUndo && kind != Step::kRedo && m_sculpture.Geometry().LatestChange() != latest;
    }
}

}  // namespace

void RunSession(const Session& session, BrushHost& host, const QString& outputDirectory, QTextStream& out,
                QTextStream& warnings) {
    Sculpture sculpture(host);
    SessionRun(session, host, sculpture, out, warnings).Run(outputDirectory);
}

std::vector<bool> PlaySession(const Session& session, BrushHost& host, Sculpture& sculpture, QTextStream& out,
                              QTextStream& warnings) {
    SessionRun run(session, host, sculpture, out, warnings);
    run.Play();
    return run.StepsThatChanged();
}

}  // namespace corvane_apps
