// corvane-sculpt: a command-line sculpting host for the Corvane brush module.
//
//   corvane-sculpt [demo] [--out DIR] [--levels N]   one stroke of each tool on a subdivided cube
//   corvane-sculpt run SESSION.json [--out DIR]      a session file (docs/session-format.md)
//   corvane-sculpt info MESH.obj                      statistics of a mesh file
//   corvane-sculpt list [--test-mode]                 what the plug-in modules registered
// Common: --plugins DIR (the modules' folder). Errors: one line, exit status 2.

#include <cstdio>

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <QTextStream>

#include "brush_host.h"
#include "demo.h"
#include "mesh_info.h"
#include "module_listing.h"
#include "session_runner.h"
#include "tarnix/brush_configuration.h"
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
    std::string outputDirectory = "corvane-out";
    uint32_t levels = 8;
    CLI::App* demo = app.add_subcommand("demo", "one stroke of each tool on a subdivided cube (the default)");
    demo->add_option("--out", outputDirectory, "folder for result.obj, preview.png and report.json");
    demo->add_option("--levels", levels, "subdivision levels of the cube (8: 393k quads)")->check(CLI::Range(1, 9));
    std::string sessionFile;
    CLI::App* run = app.add_subcommand("run", "run a session file: mesh, set-up and steps (docs/session-format.md)");
    run->add_option("session", sessionFile, "a session file (JSON)")->required();
    run->add_option("--out", outputDirectory, "folder for result.obj, preview.png and report.json");
    std::string meshFile;
    CLI::App* info = app.add_subcommand("info", "statistics of a mesh file");
    info->add_option("mesh", meshFile, "an OBJ file")->required();
    CLI::App* list = app.add_subcommand("list", "load the plug-in modules and list what they registered");
    app.require_subcommand(0, 1);
    for (CLI::App* command : {demo, run, info, list}) command->fallthrough();
    CLI11_PARSE(app, argc, argv);

    tarnix::Kernel::SetTestMode(testMode);
    QTextStream out(stdout);
    QTextStream warnings(stderr);
    const QString plugins = QString::fromStdString(pluginDirectory);
    const QString output = QString::fromStdString(outputDirectory);
    try {
        if (list->parsed()) {
            corvane_sculpt::ListModules(plugins, out);
        } else if (info->parsed()) {
            corvane_apps::PrintMeshInfo(QString::fromStdString(meshFile), out);
        } else if (run->parsed()) {
            // The file is read and checked before any module is loaded.
            const corvane_apps::Session session = corvane_apps::ReadSession(QString::fromStdString(sessionFile));
            corvane_apps::BrushHost host(plugins);
            corvane_apps::RunSession(session, host, output, out, warnings);
        } else {
            corvane_apps::BrushHost host(plugins);
            QStringList tools;
            for (const tarnix::BrushConfiguration* tool : host.Tools()) tools << tool->Name();
            corvane_apps::RunSession(corvane_sculpt::DemoSession(levels, tools), host, output, out, warnings);
        }
    } catch (tarnix::Error* error) {
        out.flush();
        std::fprintf(stderr, "corvane-sculpt: %s\n", error->Message().toLocal8Bit().constData());
        tarnix::Error::Dispose(error);
        return 2;
    }
    return 0;
}
