#pragma once
// The brush as the host program holds it: every plug-in module of a folder loaded, as a host
// loads them, and one object of the Corvane brush class made. Tools are the class's presets,
// found by name; brush attributes and preferences are set from session values after their
// types are checked.

#include <map>
#include <memory>
#include <vector>

#include <QString>
#include <QStringList>

#include "steps.h"
#include "tarnix/stamp_configuration.h"

namespace tarnix {
class Attribute;
class BrushConfiguration;
class BrushOperation;
class ClassDesc;
class LoadedModule;
class Node;
}  // namespace tarnix

namespace corvane_apps {

struct Session;

class BrushHost {
public:
    /// @brief Loads the modules in `pluginDirectory` and makes the brush. Throws tarnix::Error*
    /// when no module there registers the Corvane class.
    explicit BrushHost(const QString& pluginDirectory);
    ~BrushHost();

    tarnix::BrushOperation& Brush() const { return *m_brush; }
    /// @brief The brush's preset called `name` ("Flatten"); null when there is none.
    tarnix::BrushConfiguration* Tool(const QString& name) const;
    /// @brief Every preset of the brush, in order of registration.
    std::vector<tarnix::BrushConfiguration*> Tools() const;

    /// @brief Checks what only the loaded module can tell: tool names, brush attribute names
    /// and value types, preference names and value types. Throws tarnix::Error* naming the
    /// session file and the place of the first fault.
    void CheckSession(const Session& session) const;

    /// @brief Another brush of the class, for trying settings out. It shares the framework's
    /// preset records with the brush: save and restore them around its use.
    std::unique_ptr<tarnix::Node> MakeBrush() const;

    /// @brief Makes `tool` the active preset of `brush`, as every program does. The strength
    /// scale is a per-tool hint that only the tools needing one set as they activate: the
    /// others start from 1 rather than keep the scale the previous tool left (and record it as
    /// theirs). The preset in use is not activated again, which would give it its first-use
    /// settings once more.
    static void ActivateTool(tarnix::BrushOperation& brush, tarnix::BrushConfiguration* tool);

    /// The brush's settings as a project keeps them: the active tool, every tool's recorded
    /// settings (attribute key to text, and the stamp; by tool name) and the settings in use.
    struct Settings {
        QString tool;
        std::map<QString, std::map<QString, QString>> records;
        std::map<QString, QString> attributes;
        tarnix::StampConfiguration stamp;
    };
    Settings BrushSettings() const;
    /// @brief Gives the brush `settings`: its records, its tool, then the settings in use.
    /// Tools and attributes this host's modules do not have are passed over.
    void ApplyBrushSettings(const Settings& settings);

    /// @brief The brush's settings as a session's stroke gives them: the active tool, the stamp
    /// with every option, and every attribute but the size and the strength (which a stroke
    /// gives of its own), so that a session sets the brush as it is now.
    StrokeStep SettingsAsStroke() const;
    /// @brief Every preference's value as a session gives it.
    static std::vector<NamedValue> Preferences();
    /// @brief An attribute's value as a session gives it.
    static nlohmann::json ValueOf(const tarnix::Attribute& attribute);

    /// @brief Sets a brush attribute from a session value (checked by CheckSession).
    void SetAttribute(const NamedValue& value) const { SetAttribute(*m_brush, value); }
    static void SetAttribute(tarnix::BrushOperation& brush, const NamedValue& value);
    /// @brief Sets a preference from a session value (checked by CheckSession).
    static void SetPreference(const NamedValue& value);

    /// @brief The plug-in folder of the program at `executablePath`: "plugins" beside it (as
    /// in the build tree), else the installed one (lib/corvane/plugins beside its bin/).
    static QString PluginDirectoryFor(const QString& executablePath);
    /// @brief Adds the installed resource folder (share/corvane/resources beside bin/) to the
    /// host's resource folders, after those it has.
    static void AddInstalledResources(const QString& executablePath);

private:
    std::vector<std::unique_ptr<tarnix::LoadedModule>> m_modules;
    const tarnix::ClassDesc* m_class = nullptr;
    std::unique_ptr<tarnix::Node> m_node;
    tarnix::BrushOperation* m_brush = nullptr;
};

}  // namespace corvane_apps
