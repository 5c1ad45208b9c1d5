#include "app/CommandLine.h"

#include "core/SimulateOptions.h"
#include "link/PortSource.h"
#include "server/PtyServer.h"
#include "ui/About.h"
#include "unit/ModelCatalogue.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

// The toolkit's own options, which the application object reads from the same command line: a
// desktop that restores its session starts the program with "-session <id>", and users pass
// "-style fusion". Our parser would read "-style" as five one-letter options and refuse them.
const char *const kToolkitOptionsWithValue[] = {
    "style",         "stylesheet", "platform",        "platformpluginpath",
    "platformtheme", "plugin",     "qwindowgeometry", "qwindowicon",
    "qwindowtitle",  "session",    "display",         "geometry",
    "name",          "visual"};
const char *const kToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// The arguments without the toolkit's options and their values. A value of one of our own
// options is kept whatever it looks like, and so is everything after "--".
QStringList withoutToolkitOptions(const QStringList &arguments)
{
    QStringList kept;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--")) {
            kept += arguments.mid(i);
            break;
        }
        if (i > 0 && argument.startsWith(QLatin1Char('-'))) {
            QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
            const bool inlineValue = name.contains(QLatin1Char('='));
            name = name.section(QLatin1Char('='), 0, 0);
            bool toolkit = false;
            for (const char *option : kToolkitOptionsWithValue) {
                if (name == QLatin1String(option)) {
                    toolkit = true;
                    if (!inlineValue)
                        ++i;
                }
            }
            for (const char *flag : kToolkitFlags)
                toolkit = toolkit || (name == QLatin1String(flag) && !inlineValue);
            if (toolkit)
                continue;
        }
        kept.append(argument);
        static const QStringList withValue = {QStringLiteral("--port"),
                                              QStringLiteral("--simulate"),
                                              QStringLiteral("--seed"), QStringLiteral("--uid")};
        if (withValue.contains(argument) && i + 1 < arguments.size())
            kept.append(arguments.at(++i));
    }
    return kept;
}

CommandLineResult failure(const QString &message)
{
    CommandLineResult result;
    result.run = false;
    result.exitCode = commandLineErrorExitCode;
    result.error = QStringLiteral("vantelo: ") + message +
                   QStringLiteral("\nTry 'vantelo --help' for more information.\n");
    return result;
}

} // namespace

CommandLineResult parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Configures Korvane dimmers and receiver cards over their serial port."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("List the serial port at <path> as a supported device (repeatable)."),
        QStringLiteral("path"));
    const QCommandLineOption simulateOption(
        QStringLiteral("simulate"),
        QStringLiteral("Start a simulated device of <model> (one of %1) and list its port.")
            .arg(catalogue::modelList()),
        QStringLiteral("model"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"),
        QStringLiteral("With --simulate: start the unit from state <n> instead of the factory "
                       "state (0)."),
        QStringLiteral("n"));
    const QCommandLineOption uidOption(
        QStringLiteral("uid"),
        QStringLiteral("With --simulate: the unit's RDM UID, twelve hexadecimal digits."),
        QStringLiteral("hex"));
    parser.addOption(portOption);
    parser.addOption(simulateOption);
    parser.addOption(seedOption);
    parser.addOption(uidOption);

    if (!parser.parse(withoutToolkitOptions(arguments)))
        return failure(parser.errorText());

    CommandLineResult result;
    // --help-all would need QCommandLineParser::process, which ends the process itself.
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        result.run = false;
        result.output = parser.helpText();
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.run = false;
        result.output =
            QStringLiteral("vantelo ") + QLatin1String(About::versionText) + QLatin1Char('\n');
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return failure(QStringLiteral("unexpected argument '%1'")
                           .arg(parser.positionalArguments().constFirst()));
    }

    for (const QString &path : parser.values(portOption)) {
        if (path.trimmed().isEmpty())
            return failure(QStringLiteral("--port needs a path"));
        result.options.ports.append(path);
    }

    const QStringList models = parser.values(simulateOption);
    if (models.size() > 1)
        return failure(QStringLiteral("--simulate can be given only once"));
    const auto given = [&parser](const QCommandLineOption &option) -> std::optional<QString> {
        if (!parser.isSet(option))
            return std::nullopt;
        return parser.value(option);
    };
    sim::SimulateOptions simulate;
    const QString why = sim::parseSimulateOptions(given(simulateOption), given(seedOption),
                                                  given(uidOption), simulate);
    if (!why.isEmpty())
        return failure(why);
    result.options.simulateModel = simulate.model;
    result.options.simulateSeed = simulate.seed.value_or(0);
    result.options.simulateUid = simulate.uid;
    return result;
}

LaunchSession::LaunchSession() = default;

LaunchSession::~LaunchSession()
{
    if (m_simulator)
        m_simulator->stop();
}

bool LaunchSession::start(const LaunchOptions &options, QString *error)
{
    for (const QString &path : options.ports) {
        PortSource::addExtraPort(path);
        if (!QFileInfo::exists(path)) {
            m_notices += QStringLiteral("vantelo: %1 does not exist (yet); it will be listed when "
                                        "it appears\n")
                             .arg(path);
        }
    }

    if (options.simulateModel.isEmpty())
        return true;
    auto server = std::make_unique<sim::PtyServer>(options.simulateModel);
    server->setSeed(options.simulateSeed);
    if (!options.simulateUid.isEmpty())
        server->setUid(options.simulateUid);
    QString reason;
    if (!server->start(&reason)) {
        if (error) {
            *error = QStringLiteral("cannot start the simulated %1: %2")
                         .arg(options.simulateModel, reason);
        }
        return false;
    }
    PortSource::addExtraPort(server->portPath());
    m_simulator = std::move(server);
    return true;
}

QString LaunchSession::simulatedPortPath() const
{
    return m_simulator ? m_simulator->portPath() : QString();
}
