#include "tarnix/module_loader.h"

#include <dlfcn.h>
#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include "tarnix/error.h"
#include "tarnix/plugin.h"

namespace tarnix {

LoadedModule::LoadedModule(const QString& path) : m_path(path) {
    const std::vector<Plugin*> before = Plugin::All();
    m_handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* reason = dlerror();
        Error::Raise(Error::kCodeInvalidArgument, "tarnix::LoadedModule", "framework/src/module_loader.cpp", __LINE__,
                     QStringLiteral("cannot load plug-in module %1: %2")
                         .arg(path, QString::fromLocal8Bit(reason ? reason : "unknown reason")));
    }
    for (Plugin* plugin : Plugin::All())
        if (std::find(before.begin(), before.end(), plugin) == before.end()) m_plugins.push_back(plugin);
    for (Plugin* plugin : m_plugins) plugin->Initialize();
}

LoadedModule::~LoadedModule() { Unload(); }

void LoadedModule::Unload() {
    if (!m_handle) return;
    dlclose(m_handle);
    m_handle = nullptr;
    m_plugins.clear();
}

QString LoadedModule::PluginDirectoryOf(const QString& executablePath) {
    return QFileInfo(executablePath).absoluteDir().absoluteFilePath(QStringLiteral("plugins"));
}

}  // namespace tarnix
