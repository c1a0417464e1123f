// corvane-sculpt: a command-line sculpting host for the Corvane brush module.
//
//   corvane-sculpt [demo] [--out DIR] [--levels N]   one stroke of each tool on a subdivided cube
//   corvane-sculpt run SESSION.json [--out DIR] [--result NAME] [--level N]
//                                                    a session file (docs/session-format.md)
//   corvane-sculpt info MESH                          statistics of a mesh file (OBJ, PLY, STL, glTF, FBX)
//   corvane-sculpt list [--test-mode]                 what the plug-in modules registered
// Common: --plugins DIR (the modules' folder), --threads N (the host's threads: building and
// refitting the spatial index, which Embree does on oneTBB; the brush itself sculpts on the
// calling thread). Errors: one line, exit status 2.

#include <cstdio>
#include <optional>

#include <CLI/CLI.hpp>
#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>
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

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    CLI::App app{"corvane-sculpt: a command-line sculpting host for the Corvane brush module"};
    std::string pluginDirectory =
        corvane_apps::BrushHost::PluginDirectoryFor(QCoreApplication::applicationFilePath()).toStdString();
    corvane_apps::BrushHost::AddInstalledResources(QCoreApplication::applicationFilePath());
    bool testMode = false;
    app.add_option("--plugins", pluginDirectory, "folder of the plug-in modules to load");
    app.add_flag("--test-mode", testMode, "run the host in test mode (shows developer settings)");
    unsigned threads = unsigned(tbb::info::default_concurrency());
    app.add_option("--threads", threads, "threads for the host's work (spatial index builds and refits); default all cores")
        ->check(CLI::Range(1u, 1024u));
    std::string outputDirectory = "corvane-out";
    uint32_t levels = 8;
    CLI::App* demo = app.add_subcommand("demo", "one stroke of each tool on a subdivided cube (the default)");
    demo->add_option("--out", outputDirectory, "folder for result.obj, preview.png and report.json");
    demo->add_option("--levels", levels, "subdivision levels of the cube (8: 393k quads)")->check(CLI::Range(1, 9));
    std::string sessionFile;
    CLI::App* run = app.add_subcommand("run", "run a session file: mesh, set-up and steps (docs/session-format.md)");
    run->add_option("session", sessionFile, "a session file (JSON)")->required();
    run->add_option("--out", outputDirectory, "folder for result.obj, preview.png and report.json");
    std::string resultName = "result.obj";
    std::optional<uint32_t> resultLevel;
    run->add_option("--result", resultName,
                    "name of the mesh written into the folder; its format (obj, ply, stl, gltf, glb, fbx) from the name");
    run->add_option("--level", resultLevel, "the subdivision level written (0: the base mesh); default the sculpted one");
    std::string meshFile;
    CLI::App* info = app.add_subcommand("info", "statistics of a mesh file");
    info->add_option("mesh", meshFile, "a mesh file: OBJ, PLY, STL, glTF (.gltf, .glb) or FBX")->required();
    CLI::App* list = app.add_subcommand("list", "load the plug-in modules and list what they registered");
    app.require_subcommand(0, 1);
    for (CLI::App* command : {demo, run, info, list}) command->fallthrough();
    CLI11_PARSE(app, argc, argv);

    // Results do not depend on it: the brush sculpts on this thread, one patch at a time.
    const tbb::global_control threadLimit(tbb::global_control::max_allowed_parallelism, threads);
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
            corvane_apps::Session session = corvane_apps::ReadSession(QString::fromStdString(sessionFile));
            session.resultName = QString::fromStdString(resultName);
            session.resultLevel = resultLevel;
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
