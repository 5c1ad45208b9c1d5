// vantelo-sim: serves one simulated device on a pseudo-terminal until interrupted.
#include "server/PtyServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here; the event loop picks the byte up.
    if (::write(signalPipe[1], &byte, 1) < 0) {
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantelo-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves one simulated lighting device on a pseudo-terminal and prints "
                       "the port's path on its first line."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("MODEL"),
                                 QStringLiteral("7146, 7147, 7126, 7127, 7185 or 7186"));
    const QCommandLineOption latencyOption(
        QStringLiteral("latency-ms"), QStringLiteral("Wait N milliseconds before every answer."),
        QStringLiteral("N"));
    const QCommandLineOption logOption(
        QStringLiteral("log"), QStringLiteral("Append every command line received to FILE."),
        QStringLiteral("FILE"));
    parser.addOption(latencyOption);
    parser.addOption(logOption);
    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "vantelo-sim: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1 || !sim::SimDevice::isKnownModel(positional.first())) {
        std::fprintf(stderr, "vantelo-sim: expected one model: 7146, 7147, 7126, 7127, 7185 or "
                             "7186\n");
        return 2;
    }
    int latency = 0;
    if (parser.isSet(latencyOption)) {
        bool ok = false;
        latency = parser.value(latencyOption).toInt(&ok);
        if (!ok || latency < 0) {
            std::fprintf(stderr, "vantelo-sim: --latency-ms needs a number of milliseconds\n");
            return 2;
        }
    }
    QFile logFile;
    if (parser.isSet(logOption)) {
        logFile.setFileName(parser.value(logOption));
        if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append)) {
            std::fprintf(stderr, "vantelo-sim: cannot open %s: %s\n",
                         qPrintable(logFile.fileName()), qPrintable(logFile.errorString()));
            return 2;
        }
    }

    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("vantelo-sim: pipe2");
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char buffer[16];
        while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        app.quit();
    });

    sim::PtyServer server(positional.first());
    server.setLatencyMs(latency);
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "vantelo-sim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(server.portPath()));
    std::fflush(stdout);

    // The server keeps its log for tests; here it is copied out as it grows.
    int logged = 0;
    const auto writeLog = [&] {
        if (!logFile.isOpen())
            return;
        const QStringList lines = server.commandLog();
        for (; logged < lines.size(); ++logged)
            logFile.write(lines.at(logged).toUtf8() + '\n');
        logFile.flush();
    };
    QTimer logTimer;
    QObject::connect(&logTimer, &QTimer::timeout, &app, writeLog);
    if (logFile.isOpen())
        logTimer.start(100);

    const int result = app.exec();
    writeLog();
    server.stop();
    return result;
}
