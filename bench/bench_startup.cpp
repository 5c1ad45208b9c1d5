// Whole-program figures: how long after process start the "Device Found" message appears with a
// simulated 7146, how long until the first page has been read after it is closed, what share the
// embedded web engine takes of that, and what the connected program costs while it sits idle
// (against a unit served by the parent process, so that only the program's own work is counted).
//
//   bench_startup [--quick] [--runs N] [--idle-seconds S]
//
// The parent starts this same executable again as a child for each measurement, so every figure
// starts from a fresh process (libraries loaded, web engine started). The child repeats main()'s
// steps with the arguments "--simulate 7146" ("--port <path>" for the idle figures), watches for
// the message box and presses its OK button as a user would. Ends with Markdown tables of the
// figures and their goals.

#include "BenchStats.h"

#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/ProcessSettings.h"
#include "link/Serial.h"
#include "server/PtyServer.h"
#include "ui/Manual.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// CLOCK_MONOTONIC is shared by all processes, so a child can measure from its parent's moment.
qint64 monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

double msBetween(qint64 fromNs, qint64 toNs)
{
    return static_cast<double>(toNs - fromNs) / 1e6;
}

// ---- process accounting (Linux /proc) ----

struct ProcessFigures
{
    double cpuSeconds = 0; // user + system
    double rssMiB = 0;
    double pssMiB = 0;
};

QByteArray readProcFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Field values from /proc/<pid>/stat after the command name, which may contain blanks.
QList<QByteArray> statFields(qint64 pid)
{
    const QByteArray stat = readProcFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const int close = stat.lastIndexOf(')');
    if (close < 0)
        return {};
    return stat.mid(close + 2).split(' ');
}

double kibFromStatus(const QByteArray &text, const char *key)
{
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith(key))
            return line.mid(static_cast<int>(std::strlen(key)))
                .trimmed()
                .split(' ')
                .value(0)
                .toDouble();
    }
    return 0;
}

ProcessFigures figuresOf(qint64 pid)
{
    ProcessFigures figures;
    const QList<QByteArray> fields = statFields(pid);
    // utime and stime are fields 14 and 15 of stat; after the name they are at 11 and 12.
    if (fields.size() > 12) {
        const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
        figures.cpuSeconds = (fields.at(11).toDouble() + fields.at(12).toDouble()) / ticks;
    }
    figures.rssMiB =
        kibFromStatus(readProcFile(QStringLiteral("/proc/%1/status").arg(pid)), "VmRSS:") / 1024.0;
    figures.pssMiB =
        kibFromStatus(readProcFile(QStringLiteral("/proc/%1/smaps_rollup").arg(pid)), "Pss:") /
        1024.0;
    return figures;
}

// The web engine's helper processes are our descendants.
QList<qint64> descendants(qint64 root)
{
    std::map<qint64, qint64> parentOf;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        const QList<QByteArray> fields = statFields(pid);
        if (fields.size() > 1)
            parentOf[pid] = fields.at(1).toLongLong();
    }
    QList<qint64> found;
    for (const auto &[pid, parent] : parentOf) {
        for (qint64 up = parent; up > 1;) {
            if (up == root) {
                found.append(pid);
                break;
            }
            const auto it = parentOf.find(up);
            up = it == parentOf.end() ? 0 : it->second;
        }
    }
    return found;
}

ProcessFigures helpersFigures()
{
    ProcessFigures sum;
    for (qint64 pid : descendants(getpid())) {
        const ProcessFigures f = figuresOf(pid);
        sum.cpuSeconds += f.cpuSeconds;
        sum.rssMiB += f.rssMiB;
        sum.pssMiB += f.pssMiB;
    }
    return sum;
}

double selfCpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ---- the child: the program's start-up, watched ----

// Watches the application's events: the guide viewer's construction inside the main window's
// constructor (the web engine's start), and the "Device Found" message, which it answers.
class StartupWatcher : public QObject
{
public:
    qint64 manualStartNs = 0;
    qint64 manualEndNs = 0;
    qint64 foundNs = 0;
    QString foundText;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded) {
            // The viewer's first child arrives while its constructor runs; the next child the
            // main window receives is the port page, made right after the viewer has been
            // built, shown and given its first address.
            if (!manualStartNs && watched->inherits("Manual"))
                manualStartNs = monotonicNs();
            else if (manualStartNs && !manualEndNs && watched->inherits("MainWindow"))
                manualEndNs = monotonicNs();
        } else if (event->type() == QEvent::Show && !foundNs) {
            auto *box = qobject_cast<QMessageBox *>(watched);
            if (box && box->windowTitle() == QLatin1String("Device Found")) {
                foundNs = monotonicNs();
                foundText = box->text();
                QTimer::singleShot(0, box, [box] {
                    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                        ok->click();
                    else
                        box->accept();
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

void printResult(const std::map<QString, double> &values, const QString &note)
{
    QString line = QStringLiteral("RESULT");
    for (const auto &[key, value] : values)
        line += QStringLiteral(" %1=%2").arg(key).arg(value, 0, 'f', 3);
    if (!note.isEmpty())
        line +=
            QStringLiteral(" note=") + QString(note).replace(QLatin1Char(' '), QLatin1Char('_'));
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

int runChild(const QString &mode, int idleSeconds, const QString &guidePage, const QString &port,
             char *program)
{
    const qint64 t0 = qEnvironmentVariable("BENCH_T0_NS").toLongLong();
    const qint64 tMain = monotonicNs();

    // As main() does it, with the command line "vantelo --simulate 7146" or "vantelo --port P".
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    const QStringList arguments =
        port.isEmpty() ? QStringList{QStringLiteral("vantelo"), QStringLiteral("--simulate"),
                                     QStringLiteral("7146")}
                       : QStringList{QStringLiteral("vantelo"), QStringLiteral("--port"), port};
    int argc = 1;
    char *argv[] = {program, nullptr};
    QApplication app(argc, argv);
    applyProcessSettings();
    const qint64 tApp = monotonicNs();

    const CommandLineResult parsed = parseCommandLine(arguments);
    LaunchSession session;
    QString error;
    if (!parsed.run || !session.start(parsed.options, &error)) {
        std::fprintf(stderr, "bench_startup: cannot start the simulator: %s\n",
                     error.toLocal8Bit().constData());
        return 1;
    }
    // When the identification reached the device: what follows is its 100 ms of silence.
    static std::atomic<qint64> identifyNs{0};
    if (session.simulator()) {
        session.simulator()->setReplyOverride(
            [](const QByteArray &line) -> std::optional<QByteArray> {
                if (line.startsWith("getFWInfo") && !identifyNs.load())
                    identifyNs.store(monotonicNs());
                return std::nullopt;
            });
    }
    // Liveness checks over the idle time, as the window's poll timer fires them.
    int polls = 0;

    StartupWatcher watcher;
    app.installEventFilter(&watcher);

    const qint64 tWindowStart = monotonicNs();
    MainWindow window;
    const qint64 tWindow = monotonicNs();
    window.show();

    qint64 tRefreshed = 0;
    int refreshCommands = 0;
    std::map<QString, double> results;
    QString note;

    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &app, [&] {
        note = QStringLiteral("timed out");
        app.exit(3);
    });
    watchdog.start((mode == QLatin1String("idle") ? idleSeconds + 30 : 0) * 1000 + 30000);

    // After the message is closed, the first poll starts the background refresh and reads the
    // page on screen in the same slot; the first time the timer is seen running, that read is over.
    QTimer refreshWatch;
    refreshWatch.setInterval(1);
    QObject::connect(&refreshWatch, &QTimer::timeout, &app, [&] {
        if (!watcher.foundNs || tRefreshed)
            return;
        QTimer *refresh = window.backgroundRefreshTimer();
        if (!refresh || !refresh->isActive())
            return;
        tRefreshed = monotonicNs();
        refreshWatch.stop();
        // Everything after the identification and the first liveness check is the page's read.
        if (session.simulator())
            refreshCommands = session.simulator()->commandLog().size() - 2;

        results[QStringLiteral("main_to_app_ms")] = msBetween(tMain, tApp);
        results[QStringLiteral("start_to_main_ms")] = msBetween(t0, tMain);
        results[QStringLiteral("window_ctor_ms")] = msBetween(tWindowStart, tWindow);
        results[QStringLiteral("guide_viewer_ms")] =
            watcher.manualEndNs ? msBetween(watcher.manualStartNs, watcher.manualEndNs) : -1;
        results[QStringLiteral("found_ms")] = msBetween(t0, watcher.foundNs);
        results[QStringLiteral("identify_to_found_ms")] =
            identifyNs.load() ? msBetween(identifyNs.load(), watcher.foundNs) : -1;
        results[QStringLiteral("refreshed_ms")] = msBetween(t0, tRefreshed);
        results[QStringLiteral("refresh_commands")] = refreshCommands;
        results[QStringLiteral("cpu_self_s")] = selfCpuSeconds();
        results[QStringLiteral("cpu_helpers_s")] = helpersFigures().cpuSeconds;
        if (!watcher.foundText.contains(QLatin1String("7146")))
            note = QStringLiteral("unexpected message: ") + watcher.foundText;

        if (mode != QLatin1String("idle")) {
            app.exit(0);
            return;
        }

        auto measureIdle = [&] {
            // Let start-up work (the guide's load, first paints) finish before measuring.
            QTimer::singleShot(3000, &app, [&] {
                const qint64 tIdle = monotonicNs();
                // utime + stime of the whole process, every thread included.
                const double selfStart = figuresOf(getpid()).cpuSeconds;
                const double helpersStart = helpersFigures().cpuSeconds;
                QObject::connect(window.connectionPollTimer(), &QTimer::timeout, &app,
                                 [&polls] { ++polls; });
                QTimer::singleShot(idleSeconds * 1000, &app, [&, tIdle, selfStart, helpersStart] {
                    const double seconds = msBetween(tIdle, monotonicNs()) / 1000.0;
                    const ProcessFigures self = figuresOf(getpid());
                    const ProcessFigures helpers = helpersFigures();
                    results[QStringLiteral("idle_seconds")] = seconds;
                    results[QStringLiteral("idle_self_cpu_s_per_min")] =
                        (self.cpuSeconds - selfStart) * 60.0 / seconds;
                    results[QStringLiteral("idle_helpers_cpu_s_per_min")] =
                        (helpers.cpuSeconds - helpersStart) * 60.0 / seconds;
                    results[QStringLiteral("rss_self_mib")] = self.rssMiB;
                    results[QStringLiteral("pss_self_mib")] = self.pssMiB;
                    results[QStringLiteral("pss_helpers_mib")] = helpers.pssMiB;
                    results[QStringLiteral("idle_polls")] = polls;
                    if (!window.channel() || !window.channel()->isOpen())
                        note = QStringLiteral("the device was lost while idle");
                    app.exit(0);
                });
            });
        };
        if (guidePage.isEmpty()) {
            measureIdle();
            return;
        }
        Manual *viewer = window.guideViewer();
        QObject::connect(viewer->webView(), &QWebEngineView::loadFinished, &app,
                         [&, measureIdle](bool ok) {
                             results[QStringLiteral("guide_loaded")] = ok ? 1 : 0;
                             measureIdle();
                         });
        viewer->loadUrl(QUrl::fromLocalFile(guidePage));
    });
    refreshWatch.start();

    const int code = app.exec();
    printResult(results, note);
    window.shutDown();
    return code;
}

// ---- the parent: runs the children and sums up ----

struct ChildRun
{
    bool ok = false;
    std::map<QString, double> values;
    QString note;
};

ChildRun startChild(const QString &program, const QStringList &arguments, int timeoutMs)
{
    ChildRun run;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Headless as the program runs in CI: no display, the web engine without its sandbox (root)
    // and with software rendering.
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (!env.contains(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX")))
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("QT_QUICK_BACKEND")))
        env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.insert(QStringLiteral("BENCH_T0_NS"), QString::number(monotonicNs()));
    child.setProcessEnvironment(env);
    // The web engine talks a lot on standard error; it is shown only when a run fails or
    // BENCH_VERBOSE is set.
    const bool verbose = qEnvironmentVariableIsSet("BENCH_VERBOSE");
    child.setProcessChannelMode(verbose ? QProcess::ForwardedErrorChannel
                                        : QProcess::SeparateChannels);
    child.start(program, arguments);
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished(2000);
        run.note = QStringLiteral("child did not finish");
        return run;
    }
    const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        if (!line.startsWith("RESULT"))
            continue;
        for (const QByteArray &pair : line.split(' ')) {
            const int eq = pair.indexOf('=');
            if (eq < 0)
                continue;
            const QString key = QString::fromLatin1(pair.left(eq));
            if (key == QLatin1String("note"))
                run.note = QString::fromLatin1(pair.mid(eq + 1));
            else
                run.values[key] = pair.mid(eq + 1).toDouble();
        }
    }
    run.ok =
        child.exitCode() == 0 && run.values.count(QStringLiteral("found_ms")) && run.note.isEmpty();
    if (!run.ok && run.note.isEmpty())
        run.note = QStringLiteral("exit code %1").arg(child.exitCode());
    return run;
}

std::vector<double> column(const std::vector<ChildRun> &runs, const QString &key)
{
    std::vector<double> values;
    for (const ChildRun &run : runs) {
        const auto it = run.values.find(key);
        if (run.ok && it != run.values.end())
            values.push_back(it->second);
    }
    return values;
}

void printRow(const char *what, const std::vector<double> &values, const char *unit,
              const char *goal, const char *met)
{
    if (values.empty()) {
        std::printf("| %s | - | - | - | %s | no figure |\n", what, goal);
        return;
    }
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    std::printf("| %s | %.0f %s | %.0f - %.0f | %zu | %s | %s |\n", what,
                benchstats::median(values), unit, *lo, *hi, values.size(), goal, met);
}

int runParent(const QString &program, bool quick, int runs, int idleSeconds)
{
    std::vector<ChildRun> startups;
    for (int i = 0; i < runs; ++i) {
        ChildRun run =
            startChild(program, {QStringLiteral("--child"), QStringLiteral("startup")}, 60000);
        if (!run.ok)
            std::fprintf(stderr, "start-up run %d failed: %s\n", i + 1,
                         run.note.toLocal8Bit().constData());
        startups.push_back(run);
    }

    const std::vector<double> found = column(startups, QStringLiteral("found_ms"));
    const bool foundMet = !found.empty() && benchstats::median(found) <= 1000.0;
    std::printf("\n## Identification and start-up (ms from process start; %d runs)\n\n", runs);
    std::printf("| Figure | median | min - max | runs | goal | met |\n|---|---|---|---|---|---|\n");
    printRow("process start to main()", column(startups, QStringLiteral("start_to_main_ms")), "ms",
             "", "");
    printRow("main() to application object", column(startups, QStringLiteral("main_to_app_ms")),
             "ms", "", "");
    printRow("main window constructor", column(startups, QStringLiteral("window_ctor_ms")), "ms",
             "", "");
    printRow("of which guide viewer (web engine start, first load)",
             column(startups, QStringLiteral("guide_viewer_ms")), "ms", "", "");
    printRow("identification command to \"Device Found\" (100 ms silence included)",
             column(startups, QStringLiteral("identify_to_found_ms")), "ms", "", "");
    printRow("process start to \"Device Found\"", found, "ms", "<= 1000 ms",
             benchstats::verdict(foundMet));
    printRow("process start to first page refreshed after OK",
             column(startups, QStringLiteral("refreshed_ms")), "ms", "", "");
    const std::vector<double> viewer = column(startups, QStringLiteral("guide_viewer_ms"));
    if (!viewer.empty() && !found.empty()) {
        std::printf("\nWeb engine share of the time to \"Device Found\": %.0f%% (guide viewer "
                    "construction inside the main window constructor); its helper processes "
                    "had used %.2f s of CPU by the first refresh, the program itself %.2f s.\n",
                    100.0 * benchstats::median(viewer) / benchstats::median(found),
                    benchstats::median(column(startups, QStringLiteral("cpu_helpers_s"))),
                    benchstats::median(column(startups, QStringLiteral("cpu_self_s"))));
    }

    // A start-up that never showed its message is a broken program or bench, whatever the figures.
    const int code = found.size() == startups.size() ? 0 : 1;
    if (quick || idleSeconds <= 0)
        return code;

    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("guide.html"));
    QFile file(page);
    if (file.open(QIODevice::WriteOnly)) {
        QByteArray html = "<html><head><title>Quick start</title></head><body><h1>Quick start</h1>";
        for (int i = 0; i < 40; ++i)
            html += "<p>Connect the unit, choose its port and set the DMX start address.</p>";
        html += "</body></html>";
        file.write(html);
        file.close();
    }
    // The unit is served from this process, so the child's CPU time is the program's alone. The
    // port list's cost grew with the number of ttys the system has; it is printed beside it.
    sim::PtyServer unit(QStringLiteral("7146"));
    QString unitError;
    if (!unit.start(&unitError)) {
        std::printf("\nIdle figures not measured: the simulated unit did not start (%s)\n",
                    unitError.toLocal8Bit().constData());
        return 1;
    }
    const int ttys = QDir(QStringLiteral("/sys/class/tty"))
                         .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                         .size();
    std::printf("\n## Idle while connected (%d s each, scaled to one minute; unit in another "
                "process; %d entries in /sys/class/tty)\n\n",
                idleSeconds, ttys);
    std::printf("| Guide viewer | program CPU s/min | %% of one core, program alone (goal < 0.5%%) "
                "| web engine helpers CPU s/min | polls | program RSS MiB | program PSS MiB | "
                "helpers PSS MiB | /sys/class/tty entries | goal < 1%% of one core with helpers "
                "| met |\n|---|---|---|---|---|---|---|---|---|---|---|\n");
    bool idleMet = true;
    for (const auto &[label, guide] :
         {std::pair<const char *, QString>{"unreachable maker address (no network here)",
                                           QString()},
          std::pair<const char *, QString>{"local page loaded", page}}) {
        QStringList args{QStringLiteral("--child"),        QStringLiteral("idle"),
                         QStringLiteral("--idle-seconds"), QString::number(idleSeconds),
                         QStringLiteral("--port"),         unit.portPath()};
        if (!guide.isEmpty())
            args << QStringLiteral("--guide") << guide;
        const ChildRun run = startChild(program, args, (idleSeconds + 90) * 1000);
        if (!run.ok) {
            std::printf("| %s | failed: %s |\n", label, run.note.toLocal8Bit().constData());
            idleMet = false;
            continue;
        }
        auto v = [&](const char *key) {
            const auto it = run.values.find(QLatin1String(key));
            return it == run.values.end() ? 0.0 : it->second;
        };
        const double percent = v("idle_self_cpu_s_per_min") / 60.0 * 100.0;
        const double withHelpers =
            (v("idle_self_cpu_s_per_min") + v("idle_helpers_cpu_s_per_min")) / 60.0 * 100.0;
        const bool met = percent < 0.5 && withHelpers < 1.0;
        idleMet = idleMet && met;
        std::printf("| %s | %.3f | %.2f%% (%.2f%% with helpers) | %.3f | %.0f | %.0f | %.0f | "
                    "%.0f | %d | < 0.3 s/min alone, < 0.6 s/min with helpers | %s |\n",
                    label, v("idle_self_cpu_s_per_min"), percent, withHelpers,
                    v("idle_helpers_cpu_s_per_min"), v("idle_polls"), v("rss_self_mib"),
                    v("pss_self_mib"), v("pss_helpers_mib"), ttys, benchstats::verdict(met));
    }
    std::printf("\nThe goals are judged on the program alone (< 0.5%% of one core) and on the "
                "program and its web engine helpers together (< 1%%)%s.\n",
                idleMet ? "" : "; missed");
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    bool quick = false;
    int runs = 5;
    int idleSeconds = 30;
    QString childMode;
    QString guide;
    QString port;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--quick") {
            quick = true;
        } else if (arg == "--runs" && hasValue) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--idle-seconds" && hasValue) {
            idleSeconds = std::atoi(argv[++i]);
        } else if (arg == "--child" && hasValue) {
            childMode = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--guide" && hasValue) {
            guide = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--port" && hasValue) {
            port = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--quick] [--runs N] [--idle-seconds S]\n", argv[0]);
            return 2;
        }
    }
    if (!childMode.isEmpty())
        return runChild(childMode, idleSeconds, guide, port, argv[0]);

    QCoreApplication app(argc, argv);
    if (quick)
        runs = 1;
    return runParent(QCoreApplication::applicationFilePath(), quick, runs, idleSeconds);
}
