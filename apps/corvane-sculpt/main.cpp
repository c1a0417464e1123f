// corvane-sculpt: a command-line sculpting host for the Corvane brush module.
//
//   corvane-sculpt [list] [--test-mode] [--plugins DIR]
//       loads the plug-in modules and lists what they registered.

#include <cstdio>

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <QTextStream>

#include "module_listing.h"
#include "tarnix/error.h"
#include "tarnix/kernel.h"
#include "tarnix/module_loader.h"

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    CLI::App app{"corvane-sculpt: a command-line sculpting host for the Corvane brush module"};
    std::string pluginDirectory =
        tarnix::LoadedModule::PluginDirectoryOf(QCoreApplication::applicationFilePath()).toStdString();
    bool testMode = false;
    app.add_option("--plugins", pluginDirectory, "folder of the plug-in modules to load");
    app.add_flag("--test-mode", testMode, "run the host in test mode (shows developer settings)");
    // "list" is the only command so far, and also what runs without one.
    CLI::App* list =
        app.add_subcommand("list", "load the plug-in modules and list what they registered");
    app.require_subcommand(0, 1);
    list->fallthrough();
    CLI11_PARSE(app, argc, argv);

    tarnix::Kernel::SetTestMode(testMode);
    QTextStream out(stdout);
    try {
        corvane_sculpt::ListModules(QString::fromStdString(pluginDirectory), out);
    } catch (tarnix::Error* error) {
        out.flush();
        std::fprintf(stderr, "corvane-sculpt: %s\n", error->Message().toLocal8Bit().constData());
        tarnix::Error::Dispose(error);
        return 2;
    }
    return 0;
}
