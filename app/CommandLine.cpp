#include "app/CommandLine.h"

#include "core/SimDevice.h"
#include "link/PortSource.h"
#include "server/PtyServer.h"
#include "ui/About.h"

#include <QCommandLineParser>

namespace {

QString supportedModelList()
{
    return QStringLiteral("7146, 7147, 7126, 7127, 7185, 7186");
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
            .arg(supportedModelList()),
        QStringLiteral("model"));
    parser.addOption(portOption);
    parser.addOption(simulateOption);

    if (!parser.parse(arguments))
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
    if (!models.isEmpty()) {
        const QString &model = models.constFirst();
        if (!sim::SimDevice::isKnownModel(model)) {
            return failure(QStringLiteral("unknown model '%1' for --simulate (known: %2)")
                               .arg(model, supportedModelList()));
        }
        result.options.simulateModel = model;
    }
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
    for (const QString &path : options.ports)
        PortSource::addExtraPort(path);

    if (options.simulateModel.isEmpty())
        return true;
    auto server = std::make_unique<sim::PtyServer>(options.simulateModel);
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
