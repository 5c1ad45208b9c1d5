// vantelo-sim: serves simulated devices on pseudo-terminals until told to quit or interrupted.
#include "core/SimulateOptions.h"
#include "server/PtyServer.h"
#include "unit/ModelCatalogue.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here; the event loop picks the byte up.
    if (::write(signalPipe[1], &byte, 1) < 0) {
    }
}

// A descriptor 0..2 that the parent left closed would be handed out by the next open() and a pty
// would be taken for standard input or output.
void keepStandardDescriptorsOpen()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            ::open("/dev/null", O_RDWR);
    }
}

int usage(const QString &text)
{
    std::fprintf(stderr, "vantelo-sim: %s\n", qPrintable(text));
    return 2;
}

// The name a unit gets under /dev/serial/by-id: maker, product and serial number, with anything
// but letters, digits and ".+-_" turned into "_".
QString byIdName(const QString &product, const QString &uid)
{
    QString safe = product;
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9.+_-]"));
    safe.replace(unsafe, QStringLiteral("_"));
    return QStringLiteral("usb-Korvane_%1_%2-if00").arg(safe, uid);
}

struct Unit
{
    QString model;
    QString uid;
    std::unique_ptr<sim::PtyServer> server;
};

// Units of one model get distinct UIDs without being told: the model's own UID stepped by the
// unit's index in the device part, past any UID already taken.
QString derivedUid(const QString &model, int index, const QStringList &taken)
{
    const qulonglong base = sim::SimDevice::defaultUid(model).toULongLong(nullptr, 16);
    const qulonglong maker = base & Q_UINT64_C(0xFFFF00000000);
    qulonglong device = (base + qulonglong(index) * 0x10000) & 0xFFFFFFFF;
    for (;;) {
        const QString uid = QStringLiteral("%1").arg(maker | device, 12, 16, QLatin1Char('0'));
        if (!taken.contains(uid.toUpper()))
            return uid.toUpper();
        device = (device + 0x10000) & 0xFFFFFFFF;
    }
}

// Reads the control lines ("unplug I", "plug I", "quit") and answers each with one line. The end
// of the input ends nothing: the simulator is often started with it closed or from a terminal.
class ControlInput : public QObject
{
public:
    ControlInput(std::vector<Unit> &units, QCoreApplication &app)
        : m_units(units), m_app(app), m_notifier(STDIN_FILENO, QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] { readInput(); });
    }

private:
    void readInput()
    {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EIO)) {
            m_notifier.setEnabled(false);
            return;
        }
        if (n < 0) {
            // EIO: a background job's read of its terminal (SIGTTIN is ignored). Look again
            // later rather than spin while the foreground leaves its input unread.
            if (errno == EIO) {
                m_notifier.setEnabled(false);
                QTimer::singleShot(250, this, [this] { m_notifier.setEnabled(true); });
            }
            return;
        }
        m_pending.append(buffer, int(n));
        int end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_pending.left(end)).simplified();
            m_pending.remove(0, end + 1);
            if (!line.isEmpty())
                answer(line);
        }
    }

    void answer(const QString &line)
    {
        const QString reply = execute(line);
        std::printf("%s\n", qPrintable(reply));
        std::fflush(stdout);
    }

    QString execute(const QString &line)
    {
        const QStringList words = line.split(QLatin1Char(' '));
        const QString &verb = words.first();
        if (verb == QLatin1String("quit") && words.size() == 1) {
            m_app.quit();
            return QStringLiteral("ok");
        }
        if ((verb != QLatin1String("plug") && verb != QLatin1String("unplug")) || words.size() != 2)
            return QStringLiteral("error: unknown control line '%1' (unplug I, plug I, quit)")
                .arg(line);
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
        const int index = digits.match(words.at(1)).hasMatch() ? words.at(1).toInt() : -1;
        if (index < 0 || index >= int(m_units.size()))
            return QStringLiteral("error: no unit '%1' (units 0 to %2)")
                .arg(words.at(1))
                .arg(m_units.size() - 1);
        sim::PtyServer &server = *m_units[size_t(index)].server;
        if (verb == QLatin1String("unplug")) {
            server.unplug();
            return QStringLiteral("ok");
        }
        // Plugging a unit that is in already changes nothing, as with a real one.
        if (server.plugged() || server.replug())
            return QStringLiteral("ok");
        return QStringLiteral("error: unit %1 could not be plugged in").arg(index);
    }

    std::vector<Unit> &m_units;
    QCoreApplication &m_app;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
};

} // namespace

int main(int argc, char *argv[])
{
    keepStandardDescriptorsOpen();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantelo-sim"));
    const QString models = sim::SimDevice::knownModels().join(QLatin1String(", "));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves simulated lighting devices on pseudo-terminals and prints each "
                       "unit's port path on a line of its own, in the order given. Reads the "
                       "control lines 'unplug I', 'plug I' and 'quit' on standard input."));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("MODEL[:UID]..."),
        QStringLiteral("One unit each: a model (%1), optionally followed by a colon and the "
                       "unit's RDM UID (twelve hexadecimal digits).")
            .arg(models));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"), QStringLiteral("Unit i starts from seeded state N+i (0: factory)."),
        QStringLiteral("N"));
    const QCommandLineOption latencyOption(
        QStringLiteral("latency-ms"), QStringLiteral("Wait N milliseconds before every answer."),
        QStringLiteral("N"));
    const QCommandLineOption logOption(
        QStringLiteral("log"), QStringLiteral("Append every command line received to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption linkDirOption(
        QStringLiteral("link-dir"),
        QStringLiteral("Give each unit a link named as under /dev/serial/by-id in DIR."),
        QStringLiteral("DIR"));
    parser.addOptions({seedOption, latencyOption, logOption, linkDirOption});
    if (!parser.parse(app.arguments()))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);

    const QStringList unitWords = parser.positionalArguments();
    if (unitWords.isEmpty())
        return usage(QStringLiteral("expected at least one model: %1").arg(models));
    std::vector<Unit> units;
    QStringList takenUids;
    for (const QString &word : unitWords) {
        const int colon = word.indexOf(QLatin1Char(':'));
        Unit unit;
        QString why;
        const std::optional<QString> model = sim::simulatedModel(word.left(colon), &why);
        if (!model)
            return usage(why);
        unit.model = *model;
        if (colon >= 0) {
            const std::optional<QString> uid = sim::uidFromText(word.mid(colon + 1), nullptr);
            if (!uid)
                return usage(QStringLiteral("'%1': a UID is twelve hexadecimal digits").arg(word));
            unit.uid = *uid;
            takenUids.append(unit.uid);
        }
        units.push_back(std::move(unit));
    }
    for (size_t i = 0; i < units.size(); ++i) {
        if (units[i].uid.isEmpty()) {
            units[i].uid = derivedUid(units[i].model, int(i), takenUids);
            takenUids.append(units[i].uid);
        }
    }

    const auto number = [&](const QCommandLineOption &option, int max, int *value) {
        if (!parser.isSet(option))
            return true;
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
        const QString text = parser.value(option);
        *value = digits.match(text).hasMatch() ? text.toInt() : -1;
        return *value >= 0 && *value <= max;
    };
    int seed = 0;
    if (parser.isSet(seedOption)) {
        QString why;
        const std::optional<int> first =
            sim::seedFromText(parser.value(seedOption), &why, INT_MAX - int(units.size()));
        if (!first)
            return usage(why);
        seed = *first;
    }
    int latency = 0;
    if (!number(latencyOption, INT_MAX, &latency))
        return usage(QStringLiteral("--latency-ms needs a number of milliseconds"));

    QFile logFile;
    if (parser.isSet(logOption)) {
        logFile.setFileName(parser.value(logOption));
        if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append))
            return usage(QStringLiteral("cannot open %1: %2")
                             .arg(logFile.fileName(), logFile.errorString()));
    }
    QStringList linkNames;
    for (size_t i = 0; parser.isSet(linkDirOption) && i < units.size(); ++i) {
        const QString name = byIdName(catalogue::find(units[i].model)->name, units[i].uid);
        const int other = linkNames.indexOf(name);
        if (other >= 0)
            return usage(QStringLiteral("units %1 and %2 would share the link %3")
                             .arg(other)
                             .arg(i)
                             .arg(name));
        linkNames.append(name);
    }
    QDir linkDir(parser.value(linkDirOption));
    const bool linkDirMade = parser.isSet(linkDirOption) && !linkDir.exists();
    if (parser.isSet(linkDirOption) && !linkDir.mkpath(QStringLiteral(".")))
        return usage(QStringLiteral("cannot create the link folder %1").arg(linkDir.path()));

    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("vantelo-sim: pipe2");
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A driver that stops reading the answers must not kill the units; a background job reading
    // its terminal gets EIO instead of being stopped.
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGTTIN, SIG_IGN);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char buffer[16];
        while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        app.quit();
    });

    for (size_t i = 0; i < units.size(); ++i) {
        Unit &unit = units[i];
        unit.server = std::make_unique<sim::PtyServer>(unit.model);
        unit.server->setLatencyMs(latency);
        unit.server->setSeed(seed + int(i));
        unit.server->setUid(unit.uid);
        if (!linkNames.isEmpty())
            unit.server->setExtraLinks({linkDir.absoluteFilePath(linkNames.at(int(i)))});
        QString error;
        if (!unit.server->start(&error)) {
            std::fprintf(stderr, "vantelo-sim: unit %d: %s\n", int(i), qPrintable(error));
            return 1;
        }
    }
    for (const Unit &unit : units)
        std::printf("%s\n", qPrintable(unit.server->portPath()));
    std::fflush(stdout);

    // The servers' logs are taken as they grow, so a long run does not keep every command.
    const bool prefix = units.size() > 1;
    const auto writeLog = [&] {
        for (size_t i = 0; i < units.size(); ++i) {
            const QStringList lines = units[i].server->takeCommandLog();
            if (!logFile.isOpen())
                continue;
            for (const QString &line : lines) {
                if (prefix)
                    logFile.write(QByteArray::number(qulonglong(i)) + ": ");
                logFile.write(line.toUtf8() + '\n');
            }
        }
        if (logFile.isOpen())
            logFile.flush();
    };
    QTimer logTimer;
    QObject::connect(&logTimer, &QTimer::timeout, &app, writeLog);
    logTimer.start(100);

    ControlInput control(units, app);
    const int result = app.exec();
    writeLog();
    for (Unit &unit : units)
        unit.server->stop();
    if (linkDirMade)
        QDir().rmdir(linkDir.absolutePath());
    return result;
}
