#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/ProcessSettings.h"
#include "ui/About.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // --help, --version and a bad command line are answered before the GUI exists, so they work
    // without a display (over SSH, in scripts, in the package test). The help text needs an
    // application object; a core one suffices and is gone before the real one is created.
    CommandLineResult parsed;
    {
        QCoreApplication cli(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Vantelo"));
        QCoreApplication::setApplicationVersion(QLatin1String(About::versionText));
        parsed = parseCommandLine(QCoreApplication::arguments());
    }
    if (!parsed.run) {
        std::fputs(parsed.output.toLocal8Bit().constData(), stdout);
        std::fputs(parsed.error.toLocal8Bit().constData(), stderr);
        return parsed.exitCode;
    }

    // The guide viewer's web engine shares GL contexts with the widgets; this must be set
    // before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    applyProcessSettings();

    LaunchSession session;
    QString error;
    if (!session.start(parsed.options, &error)) {
        std::fprintf(stderr, "vantelo: %s\n", error.toLocal8Bit().constData());
        return commandLineErrorExitCode;
    }
    std::fputs(session.notices().toLocal8Bit().constData(), stderr);

    MainWindow window;
    window.show();
    return app.exec();
}
