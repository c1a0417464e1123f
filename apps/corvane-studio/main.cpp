// corvane-studio: the desktop sculpting program. It loads the plug-in modules found in
// plugins/ beside it, or installed, in the library folder's corvane/plugins (or --plugins DIR),
// as every host of ours does. It offers first to recover work that a studio which stopped
// left unsaved, then opens the project or mesh file named on the command line, or a
// subdivided sphere.
//
//   corvane-studio [PROJECT.corvane | MESH] [--plugins DIR] [--quit-after MS] [--test-mode]

#include <malloc.h>

#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>

#include "brush_host.h"
#include "errors.h"
#include "main_window.h"
#include "tarnix/kernel.h"
#include "viewport.h"

int main(int argc, char** argv) {
    // Blocks of a megabyte and more (a level's arrays, the renderer's buffers and its set-up of
    // each drawn run) are mapped on their own and given back when freed. Left to itself, the C
    // library raises that limit after the first such block is freed and keeps later ones in its
    // heap, where a level replaced by the next leaves tens of megabytes nobody uses.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    corvane_studio::Viewport::PrepareOpenGL();
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationName(QStringLiteral("corvane-studio"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Corvane Studio: interactive sculpting"));
    parser.addHelpOption();
    const QCommandLineOption plugins(QStringLiteral("plugins"), QStringLiteral("folder of the plug-in modules"),
                                     QStringLiteral("DIR"),
                                     corvane_apps::BrushHost::PluginDirectoryFor(QApplication::applicationFilePath()));
    parser.addOption(plugins);
    // Installed, the stamps lie in the share folder rather than beside the program.
    corvane_apps::BrushHost::AddInstalledResources(QApplication::applicationFilePath());
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                       QStringLiteral("close the window after MS milliseconds (for scripted checks)"),
                                       QStringLiteral("MS"));
    parser.addOption(quitAfter);
    const QCommandLineOption testMode(
        QStringLiteral("test-mode"),
        QStringLiteral("run the host in test mode (the modules' developer settings show)"));
    parser.addOption(testMode);
    parser.addPositionalArgument(QStringLiteral("mesh"), QStringLiteral("a project or mesh file to open"),
                                 QStringLiteral("[FILE]"));
    parser.process(application);
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "corvane-studio: give at most one mesh file\n");
        return 2;
    }

    tarnix::Kernel::SetLogEcho(false);
    // Before the brush is made: it shows its developer preferences by the mode it starts in.
    tarnix::Kernel::SetTestMode(parser.isSet(testMode));
    std::unique_ptr<corvane_apps::BrushHost> host;
    try {
        host = std::make_unique<corvane_apps::BrushHost>(parser.value(plugins));
    } catch (tarnix::Error* raised) {
        const QString message = corvane_apps::OwnedError(raised).Message();
        std::fprintf(stderr, "corvane-studio: %s\n", message.toLocal8Bit().constData());
        QMessageBox::critical(nullptr, QStringLiteral("Corvane Studio"), message);
        return 2;
    }

    int status = 0;
    {
        corvane_studio::MainWindow window(*host);
        window.show();
        // The time runs from the start, through reading the file and any message box its
        // refusal brings up: every window closes, and none opens after.
        bool quitting = false;
        if (parser.isSet(quitAfter))
            QTimer::singleShot(parser.value(quitAfter).toInt(), &window, [&] {
                quitting = true;
                window.SetQuietProblems(true);
                QApplication::closeAllWindows();
            });
        // Work a studio that stopped left unsaved is offered first; scripted runs leave it.
        const bool recovered = !parser.isSet(quitAfter) && window.OfferRecovery();
        const bool opened = recovered || (parser.positionalArguments().isEmpty()
                                              ? window.NewShape(QStringLiteral("sphere"))
                                              : window.OpenFile(parser.positionalArguments().front()));
        // A file that cannot be read still leaves a window to work in.
        if (!opened && !quitting) window.NewShape(QStringLiteral("sphere"));
        if (!quitting) status = application.exec();
    }
    return status;
}
