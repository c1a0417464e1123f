#pragma once
// The brush as the host program holds it: every plug-in module of a folder loaded, as a host
// loads them, and one brush object made of each class that serves presets: the Corvane
// class's first, then those of other modules (Drover's moving tools) in the order they
// registered. Tools are the presets of those classes, found by name, Corvane's first; the
// brush in use is the one serving the tool last taken up. Brush attributes and preferences are
// set from session values after their types are checked.

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
class Mesh;
class Node;
}  // namespace tarnix

namespace corvane_apps {

struct Session;

class BrushHost {
public:
    /// @brief Loads the modules in `pluginDirectory` and makes the brushes. Throws tarnix::Error*
    /// when no module there registers the Corvane class.
    explicit BrushHost(const QString& pluginDirectory);
    ~BrushHost();

    /// @brief The brush in use: the one serving the tool last taken up (Corvane's at first).
    tarnix::BrushOperation& Brush() const { return *m_brushes[m_inUse].brush; }
    /// @brief The brush that answers the smoothing modifier: Corvane's, which swaps its Smooth
    /// tool in whatever tool of its own is in hand. Strokes with the modifier run on it when
    /// the tool in hand is another brush's.
    tarnix::BrushOperation& SmoothingBrush() const { return *m_brushes.front().brush; }
    /// @brief The brush serving `tool` (Corvane's for null or a tool of no brush held here).
    tarnix::BrushOperation& BrushOf(const tarnix::BrushConfiguration* tool) const;
    /// @brief Lets every brush build ahead what its first stroke on `level` needs
    /// (BrushOperation::PrepareMesh).
    void PrepareMesh(tarnix::Mesh* level) const;
    /// @brief Makes the brush serving `tool` the one in use, and returns it.
    tarnix::BrushOperation& UseBrushOf(const tarnix::BrushConfiguration* tool);
    /// @brief The preset called `name` ("Flatten", "Grab"); null when there is none.
    tarnix::BrushConfiguration* Tool(const QString& name) const;
    /// @brief Every preset of the brushes: Corvane's in order of registration, then the others'.
    std::vector<tarnix::BrushConfiguration*> Tools() const;

    /// @brief Checks what only the loaded module can tell: tool names, brush attribute names
    /// and value types, preference names and value types. Throws tarnix::Error* naming the
    /// session file and the place of the first fault.
    void CheckSession(const Session& session) const;

    /// @brief Another brush of the class serving `tool` (Corvane's for null), for trying
    /// settings out. It shares the framework's preset records with the brushes: save and
    /// restore them around its use.
    std::unique_ptr<tarnix::Node> MakeBrush(const tarnix::BrushConfiguration* tool = nullptr) const;

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
    void SetAttribute(const NamedValue& value) const { SetAttribute(Brush(), value); }
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
    struct Held {
        const tarnix::ClassDesc* brushClass;
        std::unique_ptr<tarnix::Node> node;
        tarnix::BrushOperation* brush;
    };
    const Held& HeldFor(const tarnix::BrushConfiguration* tool) const;
    bool Holds(const tarnix::ClassDesc* brushClass) const;

    std::vector<std::unique_ptr<tarnix::LoadedModule>> m_modules;
    std::vector<Held> m_brushes;  // Corvane's first
    size_t m_inUse = 0;
};

}  // namespace corvane_apps
