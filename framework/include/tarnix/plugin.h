#pragma once
// The plug-in record: a module-level object by which a loaded module introduces itself
// (name, description, author, web address, build date) and names the initializer that the
// host runs once after loading it.

#include <vector>

#include <QString>

namespace tarnix {

class Plugin {
public:
    using Initializer = void (*)();

    Plugin(const char* name, const char* description, const char* author, const char* web, const char* buildDate,
           Initializer initializer);
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    ~Plugin();

    const QString& Name() const { return m_name; }
    const QString& Description() const { return m_description; }
    const QString& Author() const { return m_author; }
    const QString& Web() const { return m_web; }
    const QString& BuildDate() const { return m_buildDate; }

    /// @brief Runs the initializer the first time; later calls do nothing.
    void Initialize();
    bool IsInitialized() const { return m_initialized; }

    /// @brief Records in order of construction.
    static std::vector<Plugin*> All();

private:
    QString m_name;
    QString m_description;
    QString m_author;
    QString m_web;
    QString m_buildDate;
    Initializer m_initializer;
    bool m_initialized = false;
};

}  // namespace tarnix
