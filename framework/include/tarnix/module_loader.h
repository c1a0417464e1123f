#pragma once
// Loading plug-in modules. A module is a shared library whose module-level objects register
// its classes, plug-in records and preferences while it loads (and remove them, in reverse
// order, while it unloads). After loading, the host runs the initializer of every plug-in
// record that the module added.

#include <vector>

#include <QString>

namespace tarnix {

class Plugin;

class LoadedModule {
public:
    /// @brief Loads the module at `path` and initializes its plug-ins; throws a tarnix::Error
    /// (as a pointer) naming the file when the system cannot load it.
    explicit LoadedModule(const QString& path);
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    /// @brief Unloads the module unless Unload already did.
    ~LoadedModule();

    const QString& Path() const { return m_path; }
    /// @brief The plug-in records this module registered.
    const std::vector<Plugin*>& Plugins() const { return m_plugins; }
    bool IsLoaded() const { return m_handle != nullptr; }
    void Unload();

    /// @brief The plug-in folder of a host program: "plugins" in the program's own folder.
    static QString PluginDirectoryOf(const QString& executablePath);

private:
    QString m_path;
    void* m_handle = nullptr;
    std::vector<Plugin*> m_plugins;
};

}  // namespace tarnix
