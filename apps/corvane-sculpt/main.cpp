// corvane-sculpt: a command-line sculpting host for the Corvane brush module.
//
//   corvane-sculpt [demo] [--out DIR] [--levels N]   one stroke of each tool on a subdivided cube
//   corvane-sculpt info MESH.obj                      statistics of a mesh file
//   corvane-sculpt list [--test-mode]                 what the plug-in modules registered
// Common: --plugins DIR (the modules' folder). Errors: one line, exit status 2.

#include <cstdio>

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <QTextStream>

#include "demo.h"
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
    std::string outputDirectory = "corvane-out";
    uint32_t levels = 8;
    CLI::App* demo = app.add_subcommand("demo", "one stroke of each tool on a subdivided cube (the default)");
    demo->add_option("--out", outputDirectory, "folder for result.obj, preview.png and report.json");
    demo->add_option("--levels", levels, "subdivision levels of the cube (8: 393k quads)")->check(CLI::Range(1, 9));
    std::string meshFile;
    CLI::App* info = app.add_subcommand("info", "statistics of a mesh file");
    info->add_option("mesh", meshFile, "an OBJ file")->required();
    CLI::App* list = app.add_subcommand("list", "load the plug-in modules and list what they registered");
    app.require_subcommand(0, 1);
    for (CLI::App* command : {demo, info, list}) command->fallthrough();
    CLI11_PARSE(app, argc, argv);

    tarnix::Kernel::SetTestMode(testMode);
    QTextStream out(stdout);
    try {
        if (list->parsed()) {
            corvane_sculpt::ListModules(QString::fromStdString(pluginDirectory), out);
        } else if (info->parsed()) {
            corvane_sculpt::PrintMeshInfo(QString::fromStdString(meshFile), out);
        } else {
            corvane_sculpt::DemoOptions options;
            options.pluginDirectory = QString::fromStdString(pluginDirectory);
            options.outputDirectory = QString::fromStdString(outputDirectory);
            options.levels = levels;
            corvane_sculpt::RunDemo(options, out);
        }
    } catch (tarnix::Error* error) {
        out.flush();
        std::fprintf(stderr, "corvane-sculpt: %s\n", error->Message().toLocal8Bit().constData());
        tarnix::Error::Dispose(error);
        return 2;
    }
    return 0;
}
