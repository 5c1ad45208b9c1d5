#include "link/DeviceSession.h"

#include "unit/DeviceSettings.h"

#include <QFile>

#include <unistd.h>

namespace session {

namespace {

AccessCheck &accessCheck()
{
    static AccessCheck check;
    return check;
}

// Port names may come bare ("ttyACM0"), as the system's list gives them, or as paths.
QString nodePath(const QString &portName)
{
    return portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
}

} // namespace

void setAccessCheck(AccessCheck check)
{
    accessCheck() = std::move(check);
}

bool mayAccess(const QString &path)
{
    if (accessCheck())
        return accessCheck()(path);
    return ::access(QFile::encodeName(nodePath(path)).constData(), R_OK | W_OK) == 0;
}

OpenResult open(Serial &serial, const QString &portName)
{
    serial.setPortName(portName);
    const OpenResult result = serial.open();
    // The serial library reports a node this user may not open and one that another program
    // holds alike; only the first has a fix the user can apply.
    if (result == OpenResult::Busy && !mayAccess(portName))
        return OpenResult::NoPermission;
    return result;
}

namespace {

// Silences that end a tool's wait for the identification: as many as any command gets.
const int kPatientSilentReads = 10;

} // namespace

Result identify(Serial &serial, int silentReads)
{
    Result result;
    const settings::Query &query = settings::modelQuery();
    QString reply;
    const Serial::Outcome asked = serial.probe(query.command, reply, silentReads);
    if (asked == Serial::Outcome::Closed)
        return result;
    result.open = OpenResult::Opened;
    // A flood is an answer, only not one to take a model from.
    if (asked != Serial::Outcome::Answered) {
        result.outcome = asked == Serial::Outcome::Silent ? Outcome::Silent : Outcome::NoModel;
        return result;
    }
    result.model = settings::wordsOf(query, reply);
    if (result.model.isEmpty()) {
        result.outcome = Outcome::NoModel;
        return result;
    }
    result.info = catalogue::find(result.model);
    if (!result.info) {
        result.outcome = Outcome::Unsupported;
        return result;
    }
    serial.setPrompt(catalogue::familyPrompt(result.info->family));
    result.outcome = Outcome::Ready;
    return result;
}

Result connect(Serial &serial, const QString &portName)
{
    const OpenResult opened = open(serial, portName);
    if (opened != OpenResult::Opened) {
        Result result;
        result.open = opened;
        return result;
    }
    return identify(serial);
}

// The port stays open for the second question: reopening it would drop an answer to the first
// that is on its way, and the channel tells a late answer from the one asked for.
Result connectPatiently(Serial &serial, const QString &portName)
{
    Result result = connect(serial, portName);
    if (result.outcome == Outcome::Silent && serial.isOpen())
        result = identify(serial, kPatientSilentReads);
    return result;
}

bool ping(Serial &serial)
{
    QString reply;
    serial.transact(QStringLiteral("\n"), reply);
    if (reply.contains(serial.prompt(), Qt::CaseSensitive))
        return true;
    serial.close();
    return false;
}

bool unitLost(const Serial &serial)
{
    // The channel closes itself after a command without an answer or with a flood; nothing but
    // the caller reopens it.
    return !serial.isOpen();
}

QString describe(const Result &result)
{
    switch (result.outcome) {
    case Outcome::Ready:
        return result.model;
    case Outcome::Silent:
        return QStringLiteral("silent");
    case Outcome::NoModel:
        return QStringLiteral("not supported (no model in its answer)");
    case Outcome::Unsupported:
        return QStringLiteral("not supported (model %1)").arg(result.model);
    case Outcome::NotOpened:
        break;
    }
    switch (result.open) {
    case OpenResult::AlreadyOpen:
        return QStringLiteral("already open");
    case OpenResult::UnusableName:
        return QStringLiteral("not a serial port name");
    case OpenResult::Busy:
        return QStringLiteral("busy");
    case OpenResult::NoPermission:
        return QStringLiteral("no permission");
    case OpenResult::Failed:
    case OpenResult::Opened:
        break;
    }
    return QStringLiteral("cannot be opened");
}

} // namespace session
