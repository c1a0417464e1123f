#pragma once
// The host kernel: the one object through which plug-ins reach the host's services.
//
// - Log: every line is kept (the last kLogCapacity of them) and echoed to standard error
//   unless the host turned the echo off.
// - Interface: on-screen (HUD) messages, kept with their type and duration, since a
//   command-line host has no screen to show them on; and the layer-system switch.
// - Test mode: the host's switch for developer settings.
// - The crash-report word: each entry point of a plug-in adds its own bit while it runs
//   (TXCrashReporterFlag), so that a crash report can say where the plug-in was.
// - The renderer-override setting: a host string attribute that brushes may link to.

#include <cstdint>
#include <deque>
#include <vector>

#include <QString>
#include <QStringList>

#include "tarnix/attribute.h"
#include "tarnix/node.h"
#include "tarnix/scene.h"

namespace tarnix {

class Interface {
public:
    struct HUDMessage {
        QString text;
        int type;
        int milliseconds;
    };
    /// @brief Shows a message over the viewport for `milliseconds`; type 1 is a warning.
    void HUDMessageShow(const QString& text, int type, int milliseconds);
    const std::vector<HUDMessage>& HUDMessages() const { return m_messages; }
    void ClearHUDMessages() { m_messages.clear(); }

    /// @brief Switches the layer system that sculpt layers are shown in (0: sculpt layers).
    void ActivateLayerSystem(int type) { m_layerSystem = type; }
    int ActiveLayerSystem() const { return m_layerSystem; }

private:
    std::vector<HUDMessage> m_messages;
    int m_layerSystem = 0;
};

class Kernel : public Node {
public:
    static constexpr size_t kLogCapacity = 10000;

    static Kernel* Instance();

    static void Log(const QString& line);
    static std::vector<QString> LogLines();
    static void ClearLog();
    /// @brief Whether log lines are also written to standard error (default true).
    static void SetLogEcho(bool echo);

    static tarnix::Interface* Interface();

    /// @brief The scene: its camera and the curves on surfaces.
    static tarnix::Scene* Scene();
    /// @brief Applies what `manipulator` recorded (curve points moved to where they now
    /// belong) as one operation; with `undoable` it can be taken back by UndoOperation.
    /// `interactive` marks an operation the user started directly (kept for the host's log).
    static void DoOperation(CurveManipulator* manipulator, bool undoable, bool interactive);
    /// @brief Takes back the last undoable operation; false when there is none.
    static bool UndoOperation();

    static bool IsTestModeOn();
    static void SetTestMode(bool on);

    /// @brief Folders in which relative resource paths ("Stamps/knife.tif") are looked up, in
    /// order. By default: the folders of the TARNIX_RESOURCES variable (colon-separated), then
    /// "resources" beside the running program.
    static void SetResourceDirectories(const QStringList& directories);
    static QStringList ResourceDirectories();
    /// @brief The first existing file for `path` among the resource folders; an absolute
    /// path, or one found nowhere, comes back unchanged.
    static QString ResolveResource(const QString& path);

    uint32_t& CrashReportWord() { return m_crashReportWord; }
    /// @brief Host setting naming a renderer override; "corvane_norender" is one value.
    AttributeInstance<QString>& RendererOverride() { return m_rendererOverride; }

private:
    Kernel();
    uint32_t m_crashReportWord = 0;
    AttributeInstance<QString> m_rendererOverride;
    tarnix::Interface m_interface;
    tarnix::Scene m_scene;
    std::vector<std::vector<CurveManipulator::Move>> m_operations;
    std::deque<QString> m_log;
    bool m_logEcho = true;
    bool m_testMode = false;
    QStringList m_resourceDirectories;
};

/// @brief Crash-report guard: adds `bit` to the kernel's crash-report word for its lifetime,
/// and takes it away again on every exit, an exception's included.
class TXCrashReporterFlag {
public:
    explicit TXCrashReporterFlag(uint32_t bit) : m_bit(bit) { Kernel::Instance()->CrashReportWord() += m_bit; }
    ~TXCrashReporterFlag() { Kernel::Instance()->CrashReportWord() -= m_bit; }
    TXCrashReporterFlag(const TXCrashReporterFlag&) = delete;
    TXCrashReporterFlag& operator=(const TXCrashReporterFlag&) = delete;

private:
    // Read from the record by crash reports, never by this code.
    [[maybe_unused]] uint32_t m_kind = 4;  // record kind of an entry-point flag
    uint32_t m_bit;
};

}  // namespace tarnix
