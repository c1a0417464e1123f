// corvane-sculpt: a command-line sculpting host for the Corvane brush module.
//
//   corvane-sculpt [demo] [--out DIR] [--levels N]   one stroke of each tool on a subdivided cube
//   corvane-sculpt run SESSION.json [--out DIR] [--result NAME] [--level N]
//                                                    a session file (docs/session-format.md)
//   corvane-sculpt info MESH                          statistics of a mesh file (OBJ, PLY, STL, glTF, FBX)
//   corvane-sculpt list [--test-mode]                 what the plug-in modules registered
//   corvane-sculpt calibrate                          what one stroke of each tool does (a Markdown table)
// Common: --plugins DIR (the modules' folder), --threads N (the host's threads: building and
// refitting the spatial index, which Embree does on oneTBB; the brush itself sculpts on the
// calling thread), --undo-memory MIB (the undo history's budget). Errors, of the command line
// too: one line, exit status 2.

#include <cstdio>
#include <exception>
#include <optional>

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>
#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <QTextStream>

#include "brush_host.h"
#include "calibration.h"
#include "demo.h"
#include "errors.h"
#include "mesh_info.h"
#include "module_listing.h"
#include "session_runner.h"
#include "tarnix/brush_configuration.h"
#include "tarnix/geometry.h"
#include "tarnix/kernel.h"

namespace {

// Every fault ends the program with one line (a library's reason may hold line breaks).
int Refuse(QString text) {
    text = text.trimmed().replace(QLatin1Char('\n'), QLatin1String("; "));
    std::fprintf(stderr, "corvane-sculpt: %s\n", text.toLocal8Bit().constData());
    return 2;
}

}  // namespace

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
    app.add_option("--threads", threads,
                   "threads for the host's work (spatial index builds and refits); default all cores")
        ->check(CLI::Range(1u, 1024u));
    uint64_t undoMebibytes = tarnix::Geometry::kDefaultUndoBudget >> 20;
    app.add_option("--undo-memory", undoMebibytes, "memory the undo history may hold, in MiB (default 2048)")
        ->check(CLI::Range(uint64_t(1), uint64_t(1) << 30));
    // The demo's options also stand without its name ("corvane-sculpt --out DIR").
    std::string outputDirectory = "corvane-out";
    uint32_t levels = 8;
    CLI::Option* outOption =
        app.add_option("--out", outputDirectory, "folder for result.obj, preview.png and report.json");
    CLI::Option* levelsOption =
        app.add_option("--levels", levels, "the demo's subdivision levels of the cube (8: 393k quads)")
            ->check(CLI::Range(1, 9));
    CLI::App* demo = app.add_subcommand("demo", "one stroke of each tool on a subdivided cube (the default)");
    std::string sessionFile;
    CLI::App* run = app.add_subcommand("run", "run a session file: mesh, set-up and steps (docs/session-format.md)");
    run->add_option("session", sessionFile, "a session file (JSON)")->required();
    std::string resultName = "result.obj";
    std::optional<uint32_t> resultLevel;
    run->add_option(
        "--result", resultName,
        "name of the mesh written into the folder; its format (obj, ply, stl, gltf, glb, fbx) from the name");
    run->add_option("--level", resultLevel,
                    "the subdivision level written (0: the base mesh); default the sculpted one");
    std::string meshFile;
    CLI::App* info = app.add_subcommand("info", "statistics of a mesh file");
    info->add_option("mesh", meshFile, "a mesh file: OBJ, PLY, STL, glTF (.gltf, .glb) or FBX")->required();
    CLI::App* list = app.add_subcommand("list", "load the plug-in modules and list what they registered");
    CLI::App* calibrate =
        app.add_subcommand("calibrate", "measure what one stroke of each tool does on a relief that shows it");
    app.require_subcommand(0, 1);
    for (CLI::App* command : {demo, run, info, list, calibrate}) command->fallthrough();
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& request) {
        return app.exit(request);
    } catch (const CLI::CallForAllHelp& request) {
        return app.exit(request);
    } catch (const CLI::ParseError& error) {
        return Refuse(QStringLiteral("%1 (see corvane-sculpt --help)").arg(QString::fromStdString(error.what())));
    }
    if ((info->parsed() || list->parsed() || calibrate->parsed()) && outOption->count() > 0)
        return Refuse(QStringLiteral("--out: only the demo and run write outputs"));
    if (!demo->parsed() && (run->parsed() || info->parsed() || list->parsed() || calibrate->parsed()) &&
        levelsOption->count() > 0)
        return Refuse(QStringLiteral("--levels: only the demo takes it"));

    // Results do not depend on it: the brush sculpts on this thread, one patch at a time.
    const tbb::global_control threadLimit(tbb::global_control::max_allowed_parallelism, threads);
    tarnix::Kernel::SetTestMode(testMode);
    tarnix::Geometry::SetUndoBudget(undoMebibytes << 20);
    QTextStream out(stdout);
    QTextStream warnings(stderr);
    const QString plugins = QString::fromStdString(pluginDirectory);
    const QString output = QString::fromStdString(outputDirectory);
    try {
        if (list->parsed()) {
            corvane_sculpt::ListModules(plugins, out);
        } else if (info->parsed()) {
            corvane_apps::PrintMeshInfo(QString::fromStdString(meshFile), out);
        } else if (calibrate->parsed()) {
            tarnix::Kernel::SetLogEcho(false);
            corvane_apps::BrushHost host(plugins);
            out << corvane_apps::Calibration::Table(corvane_apps::Calibration::Measure(host));
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
    } catch (tarnix::Error* raised) {
        const corvane_apps::OwnedError error(raised);
        out.flush();
        return Refuse(error.Message());
    } catch (const std::exception& error) {
        // A library's own exception (memory exhausted, ...) ends the run the same way.
        out.flush();
        return Refuse(QString::fromLocal8Bit(error.what()));
    }
    return 0;
}
