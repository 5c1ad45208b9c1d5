#include "link/DeviceSession.h"

#include "link/Serial.h"

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
    switch (serial.open()) {
    case 0:
        return OpenResult::Opened;
    case -2:
        return OpenResult::AlreadyOpen;
    case -3:
        return OpenResult::UnusableName;
    case -4:
        // The serial library reports a node this user may not open and one that another program
        // holds alike; only the first has a fix the user can apply.
        return mayAccess(portName) ? OpenResult::Busy : OpenResult::NoPermission;
    default:
        return OpenResult::Failed;
    }
}

namespace {

// Silences that end a tool's wait for the identification: as many as any command gets.
const int kPatientSilentReads = 10;

Result identified(Serial &serial, Result result, int silentReads)
{
    QString model;
    if (!serial.identify(model, silentReads)) {
        result.outcome = serial.lastIdentifyAnswered() ? Outcome::NoModel : Outcome::Silent;
        return result;
    }
    result.model = model;
    result.info = catalogue::find(model);
    if (!result.info) {
        result.outcome = Outcome::Unsupported;
        return result;
    }
    serial.setPrompt(catalogue::familyPrompt(result.info->family));
    result.outcome = Outcome::Ready;
    return result;
}

} // namespace

Result connect(Serial &serial, const QString &portName)
{
    Result result;
    result.open = open(serial, portName);
    if (result.open != OpenResult::Opened)
        return result;
    return identified(serial, result, 1);
}

// The port stays open for the second question: reopening it would drop an answer to the first
// that is on its way, and the channel tells a late answer from the one asked for.
Result connectPatiently(Serial &serial, const QString &portName)
{
    Result result = connect(serial, portName);
    if (result.outcome == Outcome::Silent && serial.isOpen())
        result = identified(serial, result, kPatientSilentReads);
    return result;
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
