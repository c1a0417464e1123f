#include "step_runner.h"

#include <QDir>
#include <QFileInfo>

#include "brush_host.h"
#include "errors.h"
#include "sculpture.h"
#include "tarnix/kernel.h"

namespace corvane_apps {

void StampOptions::ApplyTo(tarnix::StampConfiguration& stamp) const {
    stamp.m_factor = factor.value_or(stamp.m_factor);
    stamp.m_offset = offset.value_or(stamp.m_offset);
    stamp.m_rotation = rotation.value_or(stamp.m_rotation);
    stamp.m_inverted = inverted.value_or(stamp.m_inverted);
    stamp.m_tiled = tiled.value_or(stamp.m_tiled);
    stamp.m_buildUp = buildUp.value_or(stamp.m_buildUp);
    stamp.m_followStroke = followStroke.value_or(stamp.m_followStroke);
    stamp.m_mirrored = mirrored.value_or(stamp.m_mirrored);
    stamp.m_randomize = randomize.value_or(stamp.m_randomize);
}

StepRunner::StepRunner(BrushHost& host, Sculpture& sculpture, StepContext context)
    : m_host(host), m_sculpture(sculpture), m_context(std::move(context)) {}

QString StepRunner::StampFile(const QString& stamp) const {
    const QString beside = m_context.stampFolder.isEmpty() || QFileInfo(stamp).isAbsolute()
                               ? stamp
                               : QDir(m_context.stampFolder).filePath(stamp);
    const QString file = QFileInfo::exists(beside) ? beside : tarnix::Kernel::ResolveResource(stamp);
    if (!QFileInfo::exists(file))
        Fail(QStringLiteral("no file \"%1\" %2 or among the resources").arg(stamp, m_context.stampFolderWords));
    return file;
}

StrokeStep StepRunner::WithStampFile(StrokeStep stroke) const {
    if (stroke.stamp && !stroke.stamp->isEmpty()) stroke.stamp = StampFile(*stroke.stamp);
    return stroke;
}

StrokeFigures StepRunner::Sculpt(const Step& step) {
    const StrokeStep stroke = WithStampFile(step.stroke);
    m_sculpture.Prepare(stroke);
    m_sculpture.LookFor(stroke, m_context.camera,
                        m_context.wholeMeshEye ? *m_context.wholeMeshEye : m_sculpture.DefaultView().eye);
    StrokeFigures figures = m_sculpture.Apply(stroke, step.kind == Step::kWholeMesh);
    figures.step = step.where;
    return figures;
}

void StepRunner::BeginStroke(const StrokeStep& stroke) {
    m_live = Step();
    m_live.kind = Step::kStroke;
    StrokeStep& live = m_live.stroke;
    live = m_host.SettingsAsStroke();
    live.size = stroke.size;
    live.strength = stroke.strength;
    live.invert = stroke.invert;
    live.smooth = stroke.smooth;
    live.mirror = stroke.mirror;
    live.camera = stroke.camera ? stroke.camera : m_context.camera;
    if (live.camera) m_sculpture.Look(*live.camera);
    m_sculpture.BeginStroke(live);
}

tarnix::AxisAlignedBoundingBox StepRunner::StrokeTo(const tarnix::Vector& point, float pressure) {
    m_live.stroke.path.push_back(point);
    m_live.stroke.pressures.push_back(pressure);
    return m_sculpture.AddStrokePoint(point, pressure);
}

StrokeFigures StepRunner::EndStroke() { return m_sculpture.EndStroke(); }

void StepRunner::TakeBack(const Step& step) {
    const bool undo = step.kind == Step::kUndo;
    const size_t available = undo ? m_sculpture.UndoCount() : m_sculpture.RedoCount();
    if (available < step.count)
        Fail(QStringLiteral("%1 %2, but only %3 to %1")
                 .arg(undo ? QStringLiteral("undo") : QStringLiteral("redo"))
                 .arg(step.count)
                 .arg(available));
    for (uint32_t i = 0; i < step.count; ++i) undo ? m_sculpture.Undo() : m_sculpture.Redo();
}

}  // namespace corvane_apps
