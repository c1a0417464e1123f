#include "tarnix/kernel.h"

#include <cstdio>

namespace tarnix {

void Interface::HUDMessageShow(const QString& text, int type, int milliseconds) {
    m_messages.push_back({text, type, milliseconds});
}

Kernel::Kernel() : m_rendererOverride(this, QStringLiteral("rendereroverride")) {}

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

bool Kernel::IsTestModeOn() { return Instance()->m_testMode; }

void Kernel::SetTestMode(bool on) { Instance()->m_testMode = on; }

}  // namespace tarnix
