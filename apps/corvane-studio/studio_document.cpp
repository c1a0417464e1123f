#include "studio_document.h"

#include <algorithm>
#include <cmath>

#include <QFileInfo>

#include "brush_host.h"
#include "builtin_shapes.h"
#include "mesh_files.h"
#include "tarnix/brush_operation.h"
#include "tarnix/error.h"
#include "tarnix/kernel.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/subdivision_level.h"

namespace corvane_studio {
namespace {

[[noreturn]] void Fail(const QString& text) {
    tarnix::Error::Raise(tarnix::Error::kCodeInvalidArgument, "StudioDocument",
                         "apps/corvane-studio/studio_document.cpp", 0, text);
}

StudioDocument::Loaded LoadedFrom(corvane_apps::BrushHost& host, const tarnix::PolygonMesh& polygons,
                                  const QString& name, uint32_t levels) {
    StudioDocument::Loaded loaded;
    loaded.sculpture = std::make_unique<corvane_apps::Sculpture>(host);
    loaded.sculpture->Load(polygons, name, levels);
    loaded.drawMesh = corvane_apps::DrawMesh::AttachTo(loaded.sculpture->Level());
    loaded.name = name;
    return loaded;
}

}  // namespace

StudioDocument::StudioDocument(corvane_apps::BrushHost& host, QObject* parent) : QObject(parent), m_host(host) {}

StudioDocument::~StudioDocument() {
    if (m_strokeOn) m_sculpture->EndStroke();
}

StudioDocument::Loaded StudioDocument::MakeShape(corvane_apps::BrushHost& host, const QString& shape, uint32_t levels) {
    tarnix::PolygonMesh polygons;
    if (!shapes::Named(shape, polygons)) Fail(QStringLiteral("no built-in shape \"%1\"").arg(shape));
    return LoadedFrom(host, polygons, shape, levels);
}

StudioDocument::Loaded StudioDocument::ReadFile(corvane_apps::BrushHost& host, const QString& path) {
    Loaded loaded;
    loaded.name = QFileInfo(path).fileName();
    loaded.sculpture = std::make_unique<corvane_apps::Sculpture>(host);
    // The file's texture coordinates and face groups stay with the mesh and are written back.
    loaded.sculpture->Load(corvane_apps::ReadMesh(path), loaded.name, 0);
    loaded.drawMesh = corvane_apps::DrawMesh::AttachTo(loaded.sculpture->Level());
    loaded.path = QFileInfo(path).absoluteFilePath();
    return loaded;
}

void StudioDocument::Adopt(Loaded loaded) {
    if (m_strokeOn) EndStroke();
    m_sculpture = std::move(loaded.sculpture);
    m_drawMesh = loaded.drawMesh;
    m_path = loaded.path;
    m_name = loaded.name;
    m_history.clear();
    m_done = m_savedAt = 0;
    SetModified(false);
    emit MeshReplaced();
    emit HistoryChanged();
    emit LayersChanged();
}

void StudioDocument::Write(const QString& path) const { m_sculpture->Write(path); }

void StudioDocument::Saved(const QString& path) {
    m_path = QFileInfo(path).absoluteFilePath();
    m_name = QFileInfo(path).fileName();
    m_savedAt = m_done;
    SetModified(false);
}

void StudioDocument::SetModified(bool modified) {
    if (modified == m_modified) return;
    m_modified = modified;
    emit ModifiedChanged(modified);
}

corvane_apps::DrawMesh* StudioDocument::SubdivideAway() {
    m_sculpture->Subdivide(1);
    return corvane_apps::DrawMesh::AttachTo(m_sculpture->Level());
}

void StudioDocument::ShowLevel(uint32_t index, corvane_apps::DrawMesh* drawMesh) {
    if (m_strokeOn) EndStroke();
    if (m_drawMesh != drawMesh) corvane_apps::DrawMesh::Detach(m_drawMesh);
    m_sculpture->SculptLevel(index);
    m_drawMesh = drawMesh ? drawMesh : corvane_apps::DrawMesh::AttachTo(m_sculpture->Level());
    emit MeshReplaced();
    emit LayersChanged();
}

void StudioDocument::ActivateTool(const QString& name) {
    if (tarnix::BrushConfiguration* tool = m_host.Tool(name)) corvane_apps::BrushHost::ActivateTool(m_host.Brush(), tool);
    m_freezeBrush = false;
    emit ToolChanged();
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

QString StudioDocument::BeginStroke(const StrokeSettings& settings, const tarnix::Vector& start, float pressure) {
    if (!HasMesh()) return tr("There is no mesh to sculpt.");
    if (m_strokeOn) EndStroke();
    m_stroke = settings;
    m_strokeOn = true;
    if (m_freezeBrush) {
        StrokeTo(start, pressure);
        return {};
    }
    if (!m_host.Brush().ActiveConfiguration()) {
        m_strokeOn = false;
        return tr("Pick a tool first.");
    }
    tarnix::Kernel::Interface()->ClearHUDMessages();
    m_latestBeforeStroke = m_sculpture->Geometry().LatestChange();
    corvane_apps::StrokeStep step;
    step.size = settings.worldRadius;
    step.strength = settings.smooth ? m_smoothingStrength : settings.strength;
    step.invert = settings.invert;
    step.smooth = settings.smooth;
    step.mirror = settings.mirror;
    try {
        m_sculpture->BeginStroke(step);
    } catch (tarnix::Error* error) {
        m_strokeOn = false;
        const QString message = error->Message();
        tarnix::Error::Dispose(error);
        return message;
    }
    StrokeTo(start, pressure);
    return {};
}

void StudioDocument::StrokeTo(const tarnix::Vector& point, float pressure) {
    if (!m_strokeOn) return;
    const tarnix::AxisAlignedBoundingBox changed =
        m_freezeBrush ? m_sculpture->PaintFreeze(point, m_stroke.worldRadius, pressure * m_freezeStrength / 100.0f,
                                                 m_stroke.invert)
                      : m_sculpture->AddStrokePoint(point, pressure);
    if (changed.IsEmpty()) return;
    m_drawMesh->MarkArea(changed);
    emit MeshChanged();
}

void StudioDocument::EndStroke() {
    if (!m_strokeOn) return;
    m_strokeOn = false;
    if (m_freezeBrush) {
        if (m_sculpture->CommitEdit()) ChangeCommitted(tr("Freeze"));
        return;
    }
    const corvane_apps::StrokeFigures figures = m_sculpture->EndStroke();
    if (figures.warning.isEmpty())
        m_lastStrokeLine = tr("%1: %L2 dabs, %L3 vertices moved, brush %4 ms a dab")
                               .arg(figures.tool)
                               .arg(figures.dabs)
                               .arg(figures.movedVertices)
                               .arg(figures.brushSeconds * 1000.0 / std::max(1u, figures.dabs), 0, 'f', 2);
    else
        m_lastStrokeLine = tr("%1: %2").arg(figures.tool, figures.warning);
    // A tessellating stroke that changed faces is drawn from new arrays.
    if (figures.facesChanged) m_drawMesh->MarkAll();
    // A stroke that changed nothing leaves no step (but ended the redo history, as any stroke).
    if (m_sculpture->Geometry().LatestChange() != m_latestBeforeStroke) ChangeCommitted(figures.tool);
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

void StudioDocument::ChangeCommitted(const QString& name) {
    m_history = m_history.mid(0, m_done);
    if (m_savedAt > m_done) m_savedAt = -1;
    m_history << name;
    // The host keeps a limited number of changes; the oldest names go with them.
    const int kept = int(m_sculpture->UndoCount() + m_sculpture->RedoCount());
    while (m_history.size() > kept) {
        m_history.removeFirst();
        if (m_savedAt >= 0) --m_savedAt;
    }
    m_done = int(m_sculpture->UndoCount());
    SetModified(m_done != m_savedAt);
    emit HistoryChanged();
}

void StudioDocument::ForgetUndone() {
    const int kept = m_done + int(m_sculpture->RedoCount());
    if (m_history.size() <= kept) return;
    m_history = m_history.mid(0, kept);
    if (m_savedAt > kept) m_savedAt = -1;
    emit HistoryChanged();
}

void StudioDocument::Undo() { GoToHistory(m_done - 1); }

void StudioDocument::Redo() { GoToHistory(m_done + 1); }

void StudioDocument::GoToHistory(int position) {
    if (!HasMesh() || m_strokeOn) return;
    position = std::clamp(position, 0, int(m_history.size()));
    if (position == m_done) return;
    while (m_done > position && m_sculpture->UndoCount() > 0) {
        m_sculpture->Undo();
        --m_done;
    }
    while (m_done < position && m_sculpture->RedoCount() > 0) {
        m_sculpture->Redo();
        ++m_done;
    }
    m_drawMesh->MarkAll();
    SetModified(m_done != m_savedAt);
    emit MeshChanged();
    emit HistoryChanged();
    // A layer's strength may have gone back with the history.
    emit LayersChanged();
}

void StudioDocument::AddLayer(const QString& name) {
    corvane_apps::LayerSetup layer;
    layer.name = name;
    m_sculpture->AddLayer(layer, true);
    emit LayersChanged();
}

void StudioDocument::RenameLayer(uint32_t index, const QString& name) {
    m_sculpture->RenameLayer(index, name);
    emit LayersChanged();
}

void StudioDocument::SetLayerStrength(uint32_t index, float strength) {
    if (!m_sculpture->SetLayerStrength(index, strength)) return;
    ChangeCommitted(tr("Layer Strength"));
    m_drawMesh->MarkAll();
    emit MeshChanged();
}

void StudioDocument::SetLayerLocked(uint32_t index, bool locked) {
    m_sculpture->Level().Layer(index)->SetLocked(locked);
    emit LayersChanged();
}

void StudioDocument::SetActiveLayer(uint32_t index) {
    m_sculpture->Level().SetActiveLayer(index);
    emit LayersChanged();
}

void StudioDocument::ClearFreeze() {
    if (!HasMesh() || m_strokeOn || !m_sculpture->ClearFreeze()) return;
    ChangeCommitted(tr("Clear Freeze"));
    m_drawMesh->MarkAll();
    emit MeshChanged();
}

void StudioDocument::InvertFreeze() {
    if (!HasMesh() || m_strokeOn || !m_sculpture->InvertFreeze()) return;
    ChangeCommitted(tr("Invert Freeze"));
    m_drawMesh->MarkAll();
    emit MeshChanged();
}

}  // namespace corvane_studio
