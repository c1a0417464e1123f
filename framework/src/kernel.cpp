#include "tarnix/kernel.h"

#include <cstdio>

#include <QDir>
#include <QFileInfo>

namespace tarnix {

void Interface::HUDMessageShow(const QString& text, int type, int milliseconds) {
    m_messages.push_back({text, type, milliseconds});
}

Kernel::Kernel() : m_rendererOverride(this, QStringLiteral("rendereroverride")) {
    const QString fromEnvironment = qEnvironmentVariable("TARNIX_RESOURCES");
    if (!fromEnvironment.isEmpty()) m_resourceDirectories = fromEnvironment.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    const QFileInfo program(QStringLiteral("/proc/self/exe"));
    m_resourceDirectories
        << QFileInfo(program.canonicalFilePath()).absoluteDir().absoluteFilePath(QStringLiteral("resources"));
}

Kernel* Kernel::Instance() {
    // Never destroyed: plug-ins unloaded at exit still report through it.
    static Kernel* kernel = new Kernel;
    return kernel;
}

void Kernel::Log(const QString& line) {
    Kernel* kernel = Instance();
    if (kernel->m_log.size() == kLogCapacity) kernel->m_log.pop_front();
    kernel->m_log.push_back(line);
    if (kernel->m_logEcho) {
        std::fputs(line.toLocal8Bit().constData(), stderr);
        std::fputc('\n', stderr);
    }
}

std::vector<QString> Kernel::LogLines() {
    const std::deque<QString>& log = Instance()->m_log;
    return {log.begin(), log.end()};
}

void Kernel::ClearLog() { Instance()->m_log.clear(); }

void Kernel::SetLogEcho(bool echo) { Instance()->m_logEcho = echo; }

tarnix::Interface* Kernel::Interface() { return &Instance()->m_interface; }

tarnix::Scene* Kernel::Scene() { return &Instance()->m_scene; }

void Kernel::DoOperation(CurveManipulator* manipulator, bool undoable, bool /*interactive*/) {
    for (const CurveManipulator::Move& move : manipulator->Moves()) move.curve->SetPointPosition(move.point, move.to);
    if (undoable) Instance()->m_operations.push_back(manipulator->Moves());
}

bool Kernel::UndoOperation() {
    auto& operations = Instance()->m_operations;
    if (operations.empty()) return false;
    for (auto move = operations.back().rbegin(); move != operations.back().rend(); ++move)
        move->curve->SetPointPosition(move->point, move->from);
    operations.pop_back();
    return true;
}

bool Kernel::IsTestModeOn() { return Instance()->m_testMode; }

void Kernel::SetTestMode(bool on) { Instance()->m_testMode = on; }

void Kernel::SetResourceDirectories(const QStringList& directories) { Instance()->m_resourceDirectories = directories; }

QStringList Kernel::ResourceDirectories() { return Instance()->m_resourceDirectories; }

QString Kernel::ResolveResource(const QString& path) {
    if (QDir::isAbsolutePath(path)) return path;
    for (const QString& directory : Instance()->m_resourceDirectories) {
        const QString candidate = QDir(directory).absoluteFilePath(path);
        if (QFileInfo::exists(candidate)) return candidate;
    }
    return path;
}

}  // namespace tarnix

#include "tarnix/checkable_float_array.h"

namespace tarnix {

bool CheckableFloatArray::s_bActive = false;

}  // namespace tarnix
