#include "cli/Provision.h"

#include "cli/ExitCodes.h"
#include "cli/Help.h"
#include "cli/OptionScan.h"
#include "cli/Output.h"
#include "station/Provisioning.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

namespace {

const QStringList valuedOptions = {"--log",       "--start-address", "--universe", "--label",
                                   "--footprint", "--port",          "--port-dir", "--record-dir",
                                   "--record",    "--station",       "--lease",    "--plan",
                                   "--map"};
const QStringList flagOptions = {"--all", "--watch", "--dry-run", "--again", "--help", "-h"};
// The other commands' valued options, so that "--port X provision" finds the command.
const QStringList otherValued = {"--simulate", "--seed", "--uid", "--only", "--except"};

struct Request
{
    provision::Setup setup;
    provision::Selection selection;
    QStringList templates;
    QString planPath;
    patch::TypeMap typeMap;
    bool watch = false;
    bool help = false;
};

// Reads the words; empty when they are usable, else the one-line reason.
QString parse(const QStringList &words, Request &request)
{
    const OptionScan scan = scanOptions(words, valuedOptions, flagOptions);
    if (!scan.unknown.isEmpty()) {
        const QString &name = scan.unknown;
        return otherValued.contains(name) || name == QLatin1String("--json") ||
                       name == QLatin1String("--yes") || name == QLatin1String("--version")
                   ? QStringLiteral("%1 does not go with provision").arg(name)
                   : QStringLiteral("unknown option '%1'").arg(name);
    }
    if (!scan.error.isEmpty())
        return scan.error;
    request.templates = scan.positional;
    QStringList given;
    for (const OptionScan::Option &option : scan.options) {
        const QString &name = option.name;
        const QString &value = option.value;
        if (!valuedOptions.contains(name)) {
            given.append(name);
            continue;
        }
        const bool repeatable = name == QLatin1String("--port") ||
                                name == QLatin1String("--footprint") ||
                                name == QLatin1String("--map");
        if (!repeatable && given.contains(name))
            return QStringLiteral("%1 can be given only once").arg(name);
        given.append(name);
        // A label may be empty on purpose; a path or a number may not.
        if (value.isEmpty() && name != QLatin1String("--label"))
            return QStringLiteral("%1 needs a value").arg(name);

        provision::Setup &setup = request.setup;
        if (name == QLatin1String("--log")) {
            setup.logPath = value;
        } else if (name == QLatin1String("--record-dir")) {
            setup.recordDir = value;
        } else if (name == QLatin1String("--record")) {
            setup.recordUrl = value;
        } else if (name == QLatin1String("--station")) {
            setup.stationName = value;
        } else if (name == QLatin1String("--lease")) {
            bool ok = false;
            setup.leaseSeconds = value.toInt(&ok);
            if (!ok || setup.leaseSeconds < 1)
                return QStringLiteral("--lease needs a number of seconds, at least 1");
        } else if (name == QLatin1String("--plan")) {
            request.planPath = value;
        } else if (name == QLatin1String("--map")) {
            const QString why = patch::addMapping(value, request.typeMap);
            if (!why.isEmpty())
                return why;
        } else if (name == QLatin1String("--port")) {
            request.selection.ports.append(value);
        } else if (name == QLatin1String("--port-dir")) {
            request.selection.portDir = value;
        } else if (name == QLatin1String("--label")) {
            setup.labelPattern = value;
        } else if (name == QLatin1String("--footprint")) {
            const int at = value.indexOf(QLatin1Char('='));
            bool ok = false;
            const int count = value.mid(at + 1).toInt(&ok);
            if (at <= 0 || !ok)
                return QStringLiteral("--footprint needs MODEL=N");
            if (setup.footprints.contains(value.left(at)))
                return QStringLiteral("--footprint %1 given twice").arg(value.left(at));
            setup.footprints.insert(value.left(at), count);
        } else {
            bool ok = false;
            const int number = value.toInt(&ok);
            // Out of range is refused with the range by the station's own check.
            (name == QLatin1String("--universe") ? setup.universe : setup.startAddress) =
                ok ? number : -1;
        }
    }
    request.help = given.contains(QLatin1String("--help"));
    if (request.help)
        return QString();
    if (given.contains(QLatin1String("--map")) && request.planPath.isEmpty())
        return QStringLiteral("--map goes with --plan");
    for (const char *option : {"--start-address", "--universe", "--label"}) {
        if (!request.planPath.isEmpty() && given.contains(QLatin1String(option)))
            return QStringLiteral("--plan gives each unit its address, universe and label; it "
                                  "does not go with %1")
                .arg(QLatin1String(option));
    }
    request.watch = given.contains(QLatin1String("--watch"));
    // A watching station waits for a folder that comes with the first unit (by-id).
    const QFileInfo portDir(request.selection.portDir);
    if (!portDir.filePath().isEmpty() && !portDir.isDir() && (portDir.exists() || !request.watch))
        return QStringLiteral("--port-dir: %1 is not a folder").arg(portDir.filePath());
    if (request.setup.recordUrl.isEmpty())
        request.setup.recordUrl = qEnvironmentVariable("VANTELO_RECORD");
    request.setup.dryRun = given.contains(QLatin1String("--dry-run"));
    request.setup.again = given.contains(QLatin1String("--again"));
    const bool all = given.contains(QLatin1String("--all"));
    provision::Selection &selection = request.selection;
    if (all && selection.ports.isEmpty() && selection.portDir.isEmpty())
        return QStringLiteral("--all adds the attached units to --port or --port-dir");
    selection.attached = all || (selection.ports.isEmpty() && selection.portDir.isEmpty());
    if (request.templates.isEmpty())
        return QStringLiteral("provision needs at least one TEMPLATE");
    if (request.setup.logPath.isEmpty())
        return QStringLiteral("provision needs --log FILE");
    return QString();
}

// "7146 4B56000012A4, universe 1, address 1-10, label "Dimmer 1""
QString describe(const provision::Unit &unit)
{
    QStringList parts = {unit.model + QLatin1Char(' ') + unit.uid};
    if (unit.universe > 0)
        parts.append(QStringLiteral("universe %1").arg(unit.universe));
    if (unit.address > 0) {
        parts.append(unit.footprint > 0
                         ? QStringLiteral("address %1-%2").arg(unit.address).arg(unit.lastAddress())
                         : QStringLiteral("address %1").arg(unit.address));
    }
    if (unit.labelSet)
        parts.append(QStringLiteral("label \"%1\"").arg(unit.label));
    return parts.join(QLatin1String(", "));
}

// The first SIGINT or SIGTERM stops the station after the units being written, a second one
// interrupts those. The handler only writes a byte; the event loop does the rest.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    if (::write(signalPipe[1], &byte, 1) < 0) {
        // A full pipe has a signal waiting already.
    }
}

class SignalGuard
{
public:
    SignalGuard()
    {
        if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        // A closed terminal stops the station as Ctrl-C does, and a reader of standard output
        // that went away must not end it in the middle of a write: the log stays complete.
        for (int i = 0; i < 3; ++i)
            ::sigaction(handled[i], &action, &m_old[i]);
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &m_old[3]);
        m_notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    }
    ~SignalGuard()
    {
        if (!m_notifier)
            return;
        m_notifier.reset();
        for (int i = 0; i < 3; ++i)
            ::sigaction(handled[i], &m_old[i], nullptr);
        ::sigaction(SIGPIPE, &m_old[3], nullptr);
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
    QSocketNotifier *notifier() const { return m_notifier.get(); }

private:
    static constexpr int handled[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction m_old[4] = {};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace

int provisionCommandAt(const QStringList &words)
{
    return commandAt(words, QStringLiteral("provision"));
}

int provisionCommand(const QStringList &words, QTextStream &out, QTextStream &err)
{
    Request request;
    QString why = parse(words, request);
    if (!why.isEmpty())
        return usageError(err, why);
    if (request.help) {
        out << helpText();
        out.flush();
        return Done;
    }
    if (request.setup.labelPattern) {
        why = provision::labelPatternRefusal(*request.setup.labelPattern);
        if (!why.isEmpty())
            return usageError(err, why);
    }
    for (const QString &path : qAsConst(request.templates)) {
        const std::optional<provision::Template> loaded = provision::loadTemplate(path, &why);
        if (!loaded) {
            err << "vantelo-cli: " << why << '\n';
            err.flush();
            return BadFile;
        }
        request.setup.templates.append(*loaded);
    }
    if (!request.planPath.isEmpty()) {
        // A plan is taken whole or refused whole, before any unit is opened.
        request.setup.plan = patch::readPlan(request.planPath, request.typeMap, &why);
        if (!request.setup.plan) {
            err << "vantelo-cli: " << why << '\n';
            err.flush();
            return BadFile;
        }
        const patch::Plan &plan = *request.setup.plan;
        if (plan.ignored > 0) {
            err << "vantelo-cli: note: " << request.planPath << ": " << plan.ignored
                << " fixture(s) of types neither ours nor mapped with --map are not planned ("
                << plan.ignoredTypes.join(QLatin1String(", ")) << ")\n";
            err.flush();
        }
    }
    why = provision::setupRefusal(request.setup);
    if (!why.isEmpty())
        return usageError(err, why);

    provision::Station station;
    using provision::Result;
    // With --watch a unit may come again: it counts once, by its last result, where a visit that
    // wrote nothing (skipped as already provisioned, not written) leaves a PASS or FAIL standing.
    // Units are known by UID; a port that could not be read, by its path until it is.
    QHash<QString, Result> results;
    QObject::connect(&station, &provision::Station::unitFinished, [&](const provision::Unit &unit) {
        const auto wrote = [](Result r) { return r == Result::Pass || r == Result::Fail; };
        const QString portKey = QStringLiteral("port ") + unit.port;
        const QString key = unit.uid.isEmpty() ? portKey : unit.uid.trimmed().toUpper();
        if (!unit.uid.isEmpty())
            results.remove(portKey);
        if (unit.result != Result::NotAUnit &&
            (!results.contains(key) || wrote(unit.result) || !wrote(results.value(key))))
            results.insert(key, unit.result);
        switch (unit.result) {
        case Result::Pass:
            out << "PASS " << describe(unit) << " (" << unit.port << ")\n";
            break;
        case Result::Fail:
            out << "FAIL " << (unit.model.isEmpty() ? QString() : describe(unit) + QLatin1Char(' '))
                << '(' << unit.port << "): " << unit.failure << '\n';
            break;
        case Result::AlreadyProvisioned:
            out << "SKIP " << unit.model << ' ' << unit.uid << ": already provisioned ("
                << unit.port << ")\n";
            break;
        case Result::NotWritten:
            out << (request.setup.dryRun ? "PLAN " : "STOP ") << describe(unit) << " (" << unit.port
                << ')' << (unit.failure.isEmpty() ? QString() : QStringLiteral(": ") + unit.failure)
                << '\n';
            break;
        case Result::NotAUnit:
            err << "vantelo-cli: note: " << unit.port << ": " << unit.failure << '\n';
            err.flush();
            break;
        case Result::Busy:
            out << "BUSY (" << unit.port << "): another program holds it; nothing written\n";
            break;
        case Result::Pending:
            break;
        }
        out.flush();
    });

    SignalGuard guard;
    int signalsSeen = 0;
    if (guard.notifier()) {
        QObject::connect(guard.notifier(), &QSocketNotifier::activated, [&] {
            char buffer[16];
            int count = 0;
            for (ssize_t n; (n = ::read(signalPipe[0], buffer, sizeof buffer)) > 0;)
                count += int(n);
            for (int i = 0; i < count; ++i) {
                if (++signalsSeen == 1) {
                    err << "vantelo-cli: note: stopping after the units in progress (again to "
                           "interrupt them)\n";
                    station.stop();
                } else {
                    station.abort();
                }
            }
            err.flush();
        });
    }
    QEventLoop loop;
    QObject::connect(&station, &provision::Station::finished, &loop, &QEventLoop::quit);
    if (!station.start(request.setup, request.selection, request.watch, &why)) {
        err << "vantelo-cli: " << why << '\n';
        err.flush();
        return BadFile;
    }
    if (!station.logNote().isEmpty())
        err << "vantelo-cli: note: " << station.logNote() << '\n';
    const QString &portDir = request.selection.portDir;
    if (request.watch && !portDir.isEmpty() && !QFileInfo(portDir).isDir()) {
        err << "vantelo-cli: note: " << portDir << " does not exist yet; waiting for it\n";
    }
    if (request.watch)
        err << "vantelo-cli: note: waiting for units; Ctrl-C stops after the units in progress\n";
    err.flush();
    loop.exec();

    int passed = 0, failed = 0, skipped = 0, planned = 0, busy = 0;
    for (const Result result : qAsConst(results)) {
        passed += result == Result::Pass;
        failed += result == Result::Fail;
        skipped += result == Result::AlreadyProvisioned;
        planned += result == Result::NotWritten;
        busy += result == Result::Busy;
    }

    QStringList summary;
    if (!request.setup.dryRun || passed + failed > 0)
        summary = QStringList{QStringLiteral("%1 passed").arg(passed),
                              QStringLiteral("%1 failed").arg(failed)};
    if (skipped > 0)
        summary.append(QStringLiteral("%1 already provisioned").arg(skipped));
    if (planned > 0 || request.setup.dryRun) {
        summary.append(request.setup.dryRun ? QStringLiteral("%1 planned").arg(planned)
                                            : QStringLiteral("%1 not written").arg(planned));
    }
    if (busy > 0)
        summary.append(QStringLiteral("%1 busy").arg(busy));
    if (request.setup.dryRun)
        summary.append(QStringLiteral("nothing written"));
    out << summary.join(QLatin1String(", ")) << '\n';
    out.flush();
    if (!station.stopReason().isEmpty()) {
        err << "vantelo-cli: " << station.stopReason() << "; the station stopped taking units\n";
        err.flush();
        return BadFile;
    }
    // A unit the station stopped before writing it, or one it could not open, is not done.
    if (failed > 0 || busy > 0 || (planned > 0 && !request.setup.dryRun))
        return Differs;
    return passed + skipped + planned == 0 ? NoUnit : Done;
}

} // namespace cli
