#include "studio_document.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

#include "brush_host.h"
#include "builtin_shapes.h"
#include "errors.h"
#include "mesh_files.h"
#include "session_runner.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/subdivision_level.h"

namespace corvane_studio {
namespace {

StudioDocument::Loaded LoadedFrom(corvane_apps::BrushHost& host, const tarnix::PolygonMesh& polygons,
                                  const QString& name, uint32_t levels) {
    StudioDocument::Loaded loaded;
    loaded.sculpture = std::make_unique<corvane_apps::Sculpture>(host);
    loaded.sculpture->Load(polygons, name, levels);
    loaded.drawMesh = corvane_apps::DrawMesh::AttachTo(loaded.sculpture->Level());
    loaded.name = name;
    loaded.origin = {{"builtin", name.toStdString()}, {"subdivide", levels}};
    return loaded;
}

// The studio's own settings, as a project keeps them.
const QString kFreezeStrength = QStringLiteral("studio/freeze strength");
const QString kSmoothingStrength = QStringLiteral("studio/smoothing strength");

using corvane_apps::Step;

// What the history calls the change `step` made.
QString ChangeName(const Step& step) {
    switch (step.kind) {
        case Step::kStroke:
            return step.stroke.smooth ? QStringLiteral("Smooth") : step.stroke.tool;
        case Step::kWholeMesh:
            return step.stroke.tool;
        case Step::kFreezeStroke:
            return QStringLiteral("Freeze");
        case Step::kClearFreeze:
            return QStringLiteral("Clear Freeze");
        case Step::kInvertFreeze:
            return QStringLiteral("Invert Freeze");
        case Step::kLayerStrength:
            return QStringLiteral("Layer Strength");
        default:
            return {};
    }
}

// The steps of a journal that made the changes it leaves, done ones first, and how many are
// done. `changed` tells which steps made one; any step that could have (a stroke that moved
// nothing included) ends what undo left to redo, as it did when it was made.
std::pair<std::vector<Step>, size_t> ChangesOf(const corvane_apps::Session& session, const std::vector<bool>& changed) {
    std::vector<Step> done, undone;  // undone: the latest undone last
    for (size_t i = 0; i < session.steps.size(); ++i) {
        const Step& step = session.steps[i];
        switch (step.kind) {
            case Step::kUndo:
                for (uint32_t n = 0; n < step.count && !done.empty(); ++n) {
                    undone.push_back(done.back());
                    done.pop_back();
                }
                continue;
            case Step::kRedo:
                for (uint32_t n = 0; n < step.count && !undone.empty(); ++n) {
                    done.push_back(undone.back());
                    undone.pop_back();
                }
                continue;
            default:
                if (ChangeName(step).isEmpty()) continue;
        }
        if (changed[i]) done.push_back(step);
        undone.clear();
    }
    const size_t doneCount = done.size();
    done.insert(done.end(), undone.rbegin(), undone.rend());
    return {std::move(done), doneCount};
}

}  // namespace

StudioDocument::StudioDocument(corvane_apps::BrushHost& host, QObject* parent) : QObject(parent), m_host(host) {}

StudioDocument::~StudioDocument() {
    if (m_strokeOn) m_sculpture->EndStroke();
}

StudioDocument::Loaded StudioDocument::MakeShape(corvane_apps::BrushHost& host, const QString& shape, uint32_t levels) {
    tarnix::PolygonMesh polygons;
    if (!shapes::Named(shape, polygons)) corvane_apps::Fail(QStringLiteral("no built-in shape \"%1\"").arg(shape));
    return LoadedFrom(host, polygons, shape, levels);
}

StudioDocument::Loaded StudioDocument::ReadFile(corvane_apps::BrushHost& host, const QString& path) {
    Loaded loaded;
    loaded.name = QFileInfo(path).fileName();
    loaded.path = QFileInfo(path).absoluteFilePath();
    loaded.sculpture = std::make_unique<corvane_apps::Sculpture>(host);
    if (corvane_apps::IsProjectFile(path)) {
        loaded.settings = corvane_apps::ReadProject(path, *loaded.sculpture, host);
        loaded.origin = {{"file", loaded.path.toStdString()}};
    } else {
        // The file's texture coordinates and face groups stay with the mesh and are written back.
        corvane_apps::MeshFile file = corvane_apps::ReadMesh(path);
        loaded.warnings = file.warnings;
        loaded.sculpture->Load(file, loaded.name, 0);
        loaded.origin = {{"file", loaded.path.toStdString()}, {"subdivide", 0}};
    }
    loaded.drawMesh = corvane_apps::DrawMesh::AttachTo(loaded.sculpture->Level());
    return loaded;
}

StudioDocument::Loaded StudioDocument::Recover(corvane_apps::BrushHost& host, const QString& journal) {
    const corvane_apps::Session session = corvane_apps::ReadSession(journal);
    Loaded loaded;
    loaded.sculpture = std::make_unique<corvane_apps::Sculpture>(host);
    QString log;
    QTextStream out(&log);
    const std::vector<bool> changed = corvane_apps::PlaySession(session, host, *loaded.sculpture, out, out);
    loaded.drawMesh = corvane_apps::DrawMesh::AttachTo(loaded.sculpture->Level());
    const QString document =
        session.shape.isEmpty() ? corvane_apps::SessionRelativePath(session, session.meshPath) : QString();
    loaded.name = session.shape.isEmpty() ? QFileInfo(document).fileName() : session.shape;
    loaded.path = document;
    loaded.journal = journal;
    std::tie(loaded.changes, loaded.changesDone) = ChangesOf(session, changed);
    return loaded;
}

void StudioDocument::Adopt(Loaded loaded) {
    if (m_strokeOn) EndStroke();
    m_sculpture = std::move(loaded.sculpture);
    // The studio's strokes bring their own camera and take the brush's stamp as it stands.
    m_steps = std::make_unique<corvane_apps::StepRunner>(m_host, *m_sculpture, corvane_apps::StepContext());
    m_drawMesh = loaded.drawMesh;
    m_path = loaded.path;
    m_name = loaded.name;
    m_changes = std::move(loaded.changes);
    m_done = int(loaded.changesDone);
    m_savedAt = 0;
    if (const auto found = loaded.settings.find(kFreezeStrength); found != loaded.settings.end())
        m_freezeStrength = found->second.toFloat();
    if (const auto found = loaded.settings.find(kSmoothingStrength); found != loaded.settings.end())
        m_smoothingStrength = found->second.toFloat();
    CloseJournal();
    if (loaded.journal.isEmpty()) {
        StartJournal(loaded.origin);
        SetModified(false);
    } else {
        // Recovered: the journal goes on, and the work it holds is not saved yet.
        try {
            m_journal = corvane_apps::Journal::TakeOver(RecoveryFolder(), loaded.journal);
        } catch (tarnix::Error* raised) {
            const corvane_apps::OwnedError error(raised);
            emit ModuleMessage(tr("The journal cannot go on: %1").arg(error.Message()));
        }
        ForgetDropped();
        m_savedAt = -1;
        SetModified(true);
    }
    m_journaledPreferences = nlohmann::json();
    emit MeshReplaced();
    emit HistoryChanged();
    emit LayersChanged();
}

void StudioDocument::WriteProject(const QString& path) const {
    corvane_apps::WriteProject(path, *m_sculpture, m_host,
                               {{kFreezeStrength, QString::number(double(m_freezeStrength))},
                                {kSmoothingStrength, QString::number(double(m_smoothingStrength))}});
}

void StudioDocument::Export(const QString& path) const { m_sculpture->Write(path); }

void StudioDocument::Saved(const QString& path) {
    m_path = QFileInfo(path).absoluteFilePath();
    m_name = QFileInfo(path).fileName();
    m_savedAt = m_done;
    SetModified(false);
    // What the journal held is in the project now: a new one starts from it.
    CloseJournal();
    StartJournal({{"file", m_path.toStdString()}});
}

QString StudioDocument::RecoveryFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("recovery"));
}

void StudioDocument::StartJournal(const nlohmann::json& origin) {
    m_origin = origin;
    try {
        m_journal = std::make_unique<corvane_apps::Journal>(RecoveryFolder(), m_path, origin);
    } catch (tarnix::Error* raised) {
        const corvane_apps::OwnedError error(raised);
        emit ModuleMessage(tr("No journal is kept for this document: %1").arg(error.Message()));
    }
}

void StudioDocument::CloseJournal() {
    if (m_journal) m_journal->Discard();
    m_journal.reset();
}

void StudioDocument::Record(const corvane_apps::Step& step) {
    if (m_journal) m_journal->Append(step);
}

void StudioDocument::SetModified(bool modified) {
    if (modified == m_modified) return;
    m_modified = modified;
    emit ModifiedChanged(modified);
}

corvane_apps::DrawMesh* StudioDocument::SubdivideAway() {
    m_sculpture->Subdivide(1);
    corvane_apps::Step step;
    step.kind = corvane_apps::Step::kSubdivide;
    Record(step);
    return corvane_apps::DrawMesh::AttachTo(m_sculpture->Level());
}

void StudioDocument::ShowLevel(uint32_t index, corvane_apps::DrawMesh* drawMesh) {
    if (m_strokeOn) EndStroke();
    if (m_drawMesh != drawMesh) corvane_apps::DrawMesh::Detach(m_drawMesh);
    if (index != m_sculpture->Level().Index()) {
        corvane_apps::Step step;
        step.kind = corvane_apps::Step::kLevel;
        step.count = index;
        Record(step);
    }
    m_sculpture->SculptLevel(index);
    m_drawMesh = drawMesh ? drawMesh : corvane_apps::DrawMesh::AttachTo(m_sculpture->Level());
    emit LevelReplaced();
    emit LayersChanged();
}

void StudioDocument::ActivateTool(const QString& name) {
    if (tarnix::BrushConfiguration* tool = m_host.Tool(name))
        corvane_apps::BrushHost::ActivateTool(m_host.UseBrushOf(tool), tool);
    m_freezeBrush = false;
    emit ToolChanged();
}

bool StudioDocument::FollowsPointer() const {
    const tarnix::BrushOperation& brush = m_host.Brush();
    return !m_freezeBrush && !brush.SpacesDabs() && !brush.PlacesSingleStamp();
}

QString StudioDocument::ActiveTool() const {
    const tarnix::BrushConfiguration* tool = m_host.Brush().ActiveConfiguration();
    return tool ? tool->Name() : QString();
}

QString StudioDocument::UseStamp(const QString& path) {
    tarnix::BrushOperation& brush = m_host.Brush();
    const tarnix::StampConfiguration before = brush.StampConfig();
    brush.SetStamp(!path.isEmpty(), path);
    if (brush.StampError().isEmpty()) return {};
    const QString reason = brush.StampError();
    brush.SetStampConfig(before);
    return reason;
}

float StudioDocument::Strength() const { return m_freezeBrush ? m_freezeStrength : m_host.Brush().BrushStrength(); }

void StudioDocument::SetStrength(float strength) {
    if (m_freezeBrush) m_freezeStrength = strength;
    else m_host.Brush().SetBrushStrength(strength);
}

void StudioDocument::SetFalloff(int preset) { m_host.Brush().SetFalloffIndex(preset); }

void StudioDocument::SetFalloffKind(int kind) {
    // A geodesic falloff needs distances measured along the surface: the kind sets both.
    tarnix::BrushOperation& brush = m_host.Brush();
    brush.SetFalloffType(kind);
    brush.m_distanceModeAttr.SetValue(kind == tarnix::BrushOperation::kFalloffGeodesic ? 1 : 0);
}

void StudioDocument::SetDirection(int mode) { m_host.Brush().m_directionAttr.SetValue(mode); }

void StudioDocument::SetBrushAttribute(const QString& key, const QString& text) {
    if (tarnix::Attribute* attribute = m_host.Brush().FindAttribute(key)) attribute->SetFromText(text, false);
}

QString StudioDocument::BeginStroke(const StrokeSettings& settings, const tarnix::Vector& start, float pressure) {
    if (!HasMesh()) return tr("There is no mesh to sculpt.");
    if (m_strokeOn) EndStroke();
    m_stroke = settings;
    m_strokeOn = true;
    m_freezeStroke = m_freezeBrush;
    if (m_freezeStroke) {
        m_freezeStep = corvane_apps::Step();
        m_freezeStep.kind = corvane_apps::Step::kFreezeStroke;
        m_freezeStep.freeze.size = settings.worldRadius;
        m_freezeStep.freeze.strength = m_freezeStrength;
        m_freezeStep.freeze.thaw = settings.invert;
        StrokeTo(start, pressure);
        return {};
    }
    tarnix::BrushOperation& brush = m_host.Brush();
    if (!brush.ActiveConfiguration()) {
        m_strokeOn = false;
        return tr("Pick a tool first.");
    }
    tarnix::Kernel::Interface()->ClearHUDMessages();
    // The journal's stroke holds the brush as it is before the stroke begins (a smoothing
    // stroke swaps another tool in), and the preferences when they changed since.
    const std::vector<corvane_apps::NamedValue> preferences = corvane_apps::BrushHost::Preferences();
    nlohmann::json current = nlohmann::json::object();
    for (const corvane_apps::NamedValue& preference : preferences)
        current[preference.name.toStdString()] = preference.value;
    if (current != m_journaledPreferences) {
        corvane_apps::Step step;
        step.kind = corvane_apps::Step::kPreferences;
        step.preferences = preferences;
        Record(step);
        m_journaledPreferences = current;
    }
    m_latestBeforeStroke = m_sculpture->Geometry().LatestChange();
    corvane_apps::StrokeStep stroke;
    stroke.size = settings.worldRadius;
    stroke.strength = settings.smooth ? m_smoothingStrength : brush.BrushStrength();
    // The tool's Invert setting turns it the other way, as Ctrl does; both turn it back.
    const bool inverted = brush.m_invertAttr.IsVisible() && brush.m_invertAttr.Value();
    stroke.invert = settings.invert != inverted;
    stroke.smooth = settings.smooth;
    stroke.mirror = m_mirror;
    stroke.camera = settings.camera;
    try {
        m_steps->BeginStroke(stroke);
    } catch (tarnix::Error* raised) {
        m_strokeOn = false;
        return corvane_apps::OwnedError(raised).Message();
    }
    StrokeTo(start, pressure);
    return {};
}

void StudioDocument::StrokeTo(const tarnix::Vector& point, float pressure) {
    if (!m_strokeOn) return;
    tarnix::AxisAlignedBoundingBox changed;
    if (m_freezeStroke) {
        m_freezeStep.freeze.path.push_back(point);
        m_freezeStep.freeze.pressures.push_back(pressure);
        changed = m_sculpture->PaintFreeze(point, m_stroke.worldRadius, pressure * m_freezeStrength / 100.0f,
                                           m_stroke.invert);
    } else {
        changed = m_steps->StrokeTo(point, pressure);
    }
    if (changed.IsEmpty()) return;
    m_drawMesh->MarkArea(changed);
    emit MeshChanged();
}

void StudioDocument::EndStroke() {
    if (!m_strokeOn) return;
    m_strokeOn = false;
    if (m_freezeStroke) {
        Record(m_freezeStep);
        if (m_sculpture->CommitEdit()) ChangeCommitted(m_freezeStep);
        return;
    }
    Record(m_steps->LiveStep());
    const corvane_apps::StrokeFigures figures = m_steps->EndStroke();
    if (figures.warning.isEmpty())
        m_lastStrokeLine = tr("%1: %L2 dabs, %L3 vertices moved, brush %4 ms a dab")
                               .arg(figures.tool)
                               .arg(figures.dabs)
                               .arg(figures.movedVertices)
                               .arg(figures.brushSeconds * 1000.0 / std::max(1u, figures.dabs), 0, 'f', 2);
    else m_lastStrokeLine = tr("%1: %2").arg(figures.tool, figures.warning);
    // A tessellating stroke that changed faces is drawn from new arrays.
    if (figures.facesChanged) m_drawMesh->MarkAll();
    // A stroke that changed nothing leaves no step (but ended the redo history, as any stroke).
    if (m_sculpture->Geometry().LatestChange() != m_latestBeforeStroke) ChangeCommitted(m_steps->LiveStep());
    else ForgetUndone();
    ForwardModuleMessages();
    emit MeshChanged();
    emit StrokeFinished();
}

void StudioDocument::ForwardModuleMessages() {
    tarnix::Interface* face = tarnix::Kernel::Interface();
    for (const tarnix::Interface::HUDMessage& message : face->HUDMessages()) emit ModuleMessage(message.text);
    face->ClearHUDMessages();
}

QStringList StudioDocument::NamesOf(const std::vector<corvane_apps::Step>& steps) {
    QStringList names;
    for (const corvane_apps::Step& step : steps) names << ChangeName(step);
    return names;
}

void StudioDocument::ChangeCommitted(const corvane_apps::Step& step) {
    m_changes.resize(size_t(m_done));
    if (m_savedAt > m_done) m_savedAt = -1;
    m_changes.push_back(step);
    ++m_done;
    ForgetDropped();
    SetModified(m_done != m_savedAt);
    emit HistoryChanged();
}

void StudioDocument::ForgetUndone() {
    const size_t held = size_t(m_done) + m_sculpture->RedoCount();
    if (m_changes.size() <= held) return;
    m_changes.resize(held);
    if (m_savedAt > int(held)) m_savedAt = -1;
    emit HistoryChanged();
}

void StudioDocument::ForgetDropped() {
    const int dropped = m_done - int(m_sculpture->UndoCount());
    if (dropped <= 0) return;
    m_changes.erase(m_changes.begin(), m_changes.begin() + dropped);
    m_done -= dropped;
    if (m_savedAt >= 0) m_savedAt = std::max(-1, m_savedAt - dropped);
}

void StudioDocument::Undo() { GoToHistory(m_done - 1); }

void StudioDocument::Redo() { GoToHistory(m_done + 1); }

void StudioDocument::GoToHistory(int position) {
    if (!HasMesh() || m_strokeOn) return;
    position = std::clamp(position, 0, int(m_changes.size()));
    if (position == m_done) return;
    corvane_apps::Step step;
    step.kind = position < m_done ? corvane_apps::Step::kUndo : corvane_apps::Step::kRedo;
    const size_t available = position < m_done ? m_sculpture->UndoCount() : m_sculpture->RedoCount();
    step.count = uint32_t(std::min<size_t>(std::abs(position - m_done), available));
    if (step.count > 0) {
        m_steps->TakeBack(step);
        Record(step);
    }
    m_done += position < m_done ? -int(step.count) : int(step.count);
    m_drawMesh->MarkAll();
    SetModified(m_done != m_savedAt);
    emit MeshChanged();
    emit HistoryChanged();
    // A layer's strength may have gone back with the history.
    emit LayersChanged();
}

QString StudioDocument::UniqueLayerName(const QString& name, std::optional<uint32_t> except) const {
    // Sessions and journals name layers: two of one name could not be told apart.
    const auto taken = [&](const QString& candidate) {
        const std::optional<uint32_t> found = m_sculpture->LayerIndex(candidate);
        return found && found != except;
    };
    QString unique = name.isEmpty() ? tr("Layer") : name;
    for (int suffix = 2; taken(unique); ++suffix) unique = QStringLiteral("%1 %2").arg(name).arg(suffix);
    return unique;
}

void StudioDocument::AddLayer(const QString& name) {
    corvane_apps::Step step;
    step.kind = corvane_apps::Step::kAddLayer;
    step.added.name = UniqueLayerName(name, std::nullopt);
    m_sculpture->AddLayer(step.added, true);
    Record(step);
    emit LayersChanged();
}

void StudioDocument::RenameLayer(uint32_t index, const QString& name) {
    corvane_apps::Step step;
    step.kind = corvane_apps::Step::kRenameLayer;
    step.layer = m_sculpture->LayerName(index);
    step.newName = UniqueLayerName(name, index);
    if (step.newName != step.layer) {
        m_sculpture->RenameLayer(index, step.newName);
        Record(step);
    }
    // A name refused or changed shows as it stands.
    emit LayersChanged();
}

void StudioDocument::SetLayerStrength(uint32_t index, float strength) {
    if (!m_sculpture->SetLayerStrength(index, strength)) return;
    corvane_apps::Step step;
    step.kind = corvane_apps::Step::kLayerStrength;
    step.layer = m_sculpture->LayerName(index);
    step.layerStrength = strength;
    Record(step);
    ChangeCommitted(step);
    m_drawMesh->MarkAll();
    emit MeshChanged();
}

void StudioDocument::SetLayerLocked(uint32_t index, bool locked) {
    tarnix::SculptLayer* layer = m_sculpture->Level().Layer(index);
    if (layer->IsLocked() != locked) {
        layer->SetLocked(locked);
        corvane_apps::Step step;
        step.kind = corvane_apps::Step::kLockLayer;
        step.layer = m_sculpture->LayerName(index);
        step.locked = locked;
        Record(step);
    }
    emit LayersChanged();
}

void StudioDocument::SetActiveLayer(uint32_t index) {
    tarnix::SubdivisionLevel& level = m_sculpture->Level();
    const bool base = index >= level.LayerCount();
    if ((base ? nullptr : level.Layer(index)) != level.ActiveLayer()) {
        level.SetActiveLayer(index);
        corvane_apps::Step step;
        step.kind = corvane_apps::Step::kLayer;
        step.layer = base ? QString() : m_sculpture->LayerName(index);
        Record(step);
    }
    emit LayersChanged();
}

void StudioDocument::ClearFreeze() {
    if (!HasMesh() || m_strokeOn || !m_sculpture->ClearFreeze()) return;
    corvane_apps::Step step;
    step.kind = corvane_apps::Step::kClearFreeze;
    Record(step);
    ChangeCommitted(step);
    m_drawMesh->MarkAll();
    emit MeshChanged();
}

void StudioDocument::InvertFreeze() {
    if (!HasMesh() || m_strokeOn || !m_sculpture->InvertFreeze()) return;
    corvane_apps::Step step;
    step.kind = corvane_apps::Step::kInvertFreeze;
    Record(step);
    ChangeCommitted(step);
    m_drawMesh->MarkAll();
    emit MeshChanged();
}

}  // namespace corvane_studio
