#include "module_listing.h"

#include <algorithm>
#include <memory>
#include <vector>

#include <QDir>

#include "errors.h"
#include "tarnix/brush_operation.h"
#include "tarnix/class_desc.h"
#include "tarnix/kernel.h"
#include "tarnix/module_loader.h"
#include "tarnix/plugin.h"
#include "tarnix/preferences.h"

namespace corvane_sculpt {
namespace {

void PrintPlugins(const std::vector<tarnix::Plugin*>& plugins, QTextStream& out) {
    out << "Plug-ins:\n";
    for (const tarnix::Plugin* plugin : plugins)
        out << "  " << plugin->Name() << ": " << plugin->Description() << "\n"
            << "    by " << plugin->Author() << ", " << plugin->Web() << ", built " << plugin->BuildDate() << "\n";
}

void PrintClasses(const std::vector<const tarnix::ClassDesc*>& classes, QTextStream& out) {
    out << "Classes:\n";
    for (const tarnix::ClassDesc* cls : classes)
        out << "  " << qSetFieldWidth(10) << Qt::left << cls->Name() << qSetFieldWidth(0) << " \"" << cls->DisplayName()
            << "\", version " << cls->Version() << ", derived from "
            << (cls->Parent() ? cls->Parent()->Name() : QStringLiteral("nothing")) << "\n";
}

void PrintPreferences(QTextStream& out) {
    out << "Preferences (test mode " << (tarnix::Kernel::IsTestModeOn() ? "on" : "off") << "):\n";
    for (const tarnix::Preferences::Entry& entry : tarnix::Preferences::All())
        out << "  " << entry.category << " / " << qSetFieldWidth(32) << Qt::left << entry.name << qSetFieldWidth(0)
            << " default " << qSetFieldWidth(6) << entry.defaultText << qSetFieldWidth(0)
            << (entry.attribute->IsVisible() ? "shown" : "hidden") << "\n";
}

void PrintPresets(QTextStream& out) {
    out << "Brush presets:\n";
    for (uint32_t i = 0; i < tarnix::BrushOperation::ConfigurationCount(); ++i) {
        const tarnix::BrushConfiguration* preset = tarnix::BrushOperation::Configuration(i);
        out << "  " << qSetFieldWidth(3) << Qt::right << preset->ID() << qSetFieldWidth(0) << "  " << qSetFieldWidth(9)
            << Qt::left << preset->Name() << qSetFieldWidth(0) << " " << preset->DisplayName() << " ("
            << preset->OperationClass()->Name() << ")\n";
    }
}

}  // namespace

void ListModules(const QString& pluginDirectory, QTextStream& out) {
    const QDir directory(pluginDirectory);
    const QStringList files = directory.entryList({QStringLiteral("*.so")}, QDir::Files, QDir::Name);
    if (files.isEmpty()) corvane_apps::Fail(QStringLiteral("no plug-in modules in %1").arg(directory.absolutePath()));

    const std::vector<const tarnix::ClassDesc*> frameworkClasses = tarnix::ClassDesc::All();
    std::vector<std::unique_ptr<tarnix::LoadedModule>> modules;
    std::vector<tarnix::Plugin*> plugins;
    for (const QString& file : files) {
        modules.push_back(std::make_unique<tarnix::LoadedModule>(directory.absoluteFilePath(file)));
        out << "Loaded " << file << "\n";
    }
    std::vector<const tarnix::ClassDesc*> moduleClasses;
    for (const tarnix::ClassDesc* cls : tarnix::ClassDesc::All())
        if (std::find(frameworkClasses.begin(), frameworkClasses.end(), cls) == frameworkClasses.end())
            moduleClasses.push_back(cls);

    PrintPlugins(tarnix::Plugin::All(), out);
    PrintClasses(moduleClasses, out);
    PrintPreferences(out);
    PrintPresets(out);
    // Unload in reverse order of loading, as a host does at exit.
    while (!modules.empty()) modules.pop_back();
}

}  // namespace corvane_sculpt
