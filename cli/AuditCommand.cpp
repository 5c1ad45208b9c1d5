#include "cli/AuditCommand.h"

#include "cli/ExitCodes.h"
#include "cli/OptionScan.h"
#include "files/SettingsApply.h"
#include "link/DeviceSession.h"
#include "link/PortSource.h"
#include "link/Serial.h"
#include "record/Audit.h"
#include "record/Record.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

namespace cli {

namespace {

const QStringList auditValued = {"--record", "--port", "--port-dir"};
const QStringList auditFlags = {"--json", "--help", "-h"};

QString jsonText(const QJsonValue &value)
{
    if (value.isUndefined())
        return QStringLiteral("(none)");
    if (value.isString())
        return value.toString();
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}

// The attached units of the maker that hold a supported model, each once.
QStringList attachedPorts()
{
    QStringList ports;
    QList<quint64> devices;
    for (const PortInfo &port : PortSource::availablePorts()) {
        if (!port.isSupported() || (port.deviceNumber && devices.contains(port.deviceNumber)))
            continue;
        devices.append(port.deviceNumber);
        ports.append(port.path());
    }
    return ports;
}

} // namespace

int auditCommandAt(const QStringList &words)
{
    return commandAt(words, QStringLiteral("audit"));
}

int auditCommand(const QStringList &words, QTextStream &out, QTextStream &err)
{
    const OptionScan scan = scanOptions(words, auditValued, auditFlags);
    QString why = !scan.unknown.isEmpty() ? QStringLiteral("unknown option '%1'").arg(scan.unknown)
                                          : scan.error;
    if (why.isEmpty() && !scan.positional.isEmpty())
        why = QStringLiteral("unexpected argument '%1'").arg(scan.positional.first());
    QString url = record::defaultUrl();
    QStringList ports;
    QString portDir;
    for (const OptionScan::Option &option : scan.options) {
        if (option.name == QLatin1String("--record"))
            url = option.value;
        else if (option.name == QLatin1String("--port"))
            ports.append(PortSource::openablePath(option.value));
        else if (option.name != QLatin1String("--port-dir"))
            continue;
        else if (portDir.isEmpty())
            portDir = option.value;
        else if (why.isEmpty())
            why = QStringLiteral("--port-dir can be given only once");
    }
    if (why.isEmpty() && !portDir.isEmpty() && !QFileInfo(portDir).isDir())
        why = QStringLiteral("--port-dir: %1 is not a folder").arg(portDir);
    if (why.isEmpty() && url.isEmpty())
        why = QStringLiteral("no record given (--record URL, or VANTELO_RECORD)");
    if (!why.isEmpty()) {
        err << "vantelo-cli: " << why << "\nTry 'vantelo-cli --help' for more information.\n";
        err.flush();
        return Usage;
    }
    if (scan.has(QStringLiteral("--help"))) {
        out << "Usage: vantelo-cli audit --record URL [--port PATH]... [--port-dir DIR] "
               "[--json]\n"
               "Compares every setting of each unit with its last PASS result in the record.\n"
               "Exit codes: 0 every unit matches; 1 one differs or is not in the record; 3 no "
               "unit found;\n4 the record cannot be used.\n";
        out.flush();
        return Done;
    }
    const bool json = scan.has(QStringLiteral("--json"));
    if (!portDir.isEmpty()) {
        const QDir dir(portDir);
        for (const QString &name :
             dir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name))
            ports.append(PortSource::openablePath(dir.filePath(name)));
    }
    if (ports.isEmpty())
        ports = attachedPorts();

    int code = Done;
    QStringList errors;
    const auto fail = [&](int exit, const QString &line) {
        err << "vantelo-cli: " << line << '\n';
        errors.append(line);
        code = qMax(code, exit);
    };
    QJsonArray units;
    // The record first: when it cannot be used, no unit is even opened.
    record::Record rig;
    if (!rig.open(url)) {
        fail(RecordProblem, rig.errorString());
    } else {
        int found = 0;
        for (const QString &port : ports) {
            Serial serial;
            const session::Result session = session::connectPatiently(serial, port);
            if (!session.ready()) {
                err << "vantelo-cli: note: " << port << ": " << session::describe(session) << '\n';
                continue;
            }
            ++found;
            const settingsapply::Snapshot snapshot = settingsapply::snapshot(
                serial, session.model, session.info->family, QDateTime::currentDateTime());
            serial.close();
            const QString uid = snapshot.contents.identity.uid;
            QJsonObject unit{{"port", port}, {"model", session.model}, {"uid", uid}};
            if (!snapshot.complete()) {
                fail(NoUnit, QStringLiteral("%1: the unit could not be read whole").arg(port));
                continue;
            }
            const auto history = rig.history(uid);
            if (!history) {
                fail(RecordProblem, rig.errorString());
                break;
            }
            const auto last = std::find_if(history->begin(), history->end(),
                                           [](const record::HistoryEntry &e) { return e.pass; });
            QString verdict;
            QJsonArray differing;
            if (last == history->end() || last->settings.isEmpty()) {
                verdict = last == history->end()
                              ? QStringLiteral("not in the record")
                              : QStringLiteral("not in the record (its last PASS holds no "
                                               "settings)");
                unit[QStringLiteral("status")] = QStringLiteral("unknown");
                code = qMax(code, int(Differs));
            } else {
                const auto found =
                    record::differences(last->settings, record::settingsJson(snapshot.contents));
                verdict = found.isEmpty() ? QStringLiteral("matches")
                          : found.size() == 1
                              ? QStringLiteral("1 setting differs")
                              : QStringLiteral("%1 settings differ").arg(found.size());
                unit[QStringLiteral("status")] = found.isEmpty() ? "matches" : "differs";
                for (const record::Difference &d : found) {
                    differing.append(
                        QJsonObject{{"key", d.key}, {"record", d.recorded}, {"unit", d.unit}});
                    verdict += QStringLiteral("\n    %1  record %2  unit %3")
                                   .arg(d.key, jsonText(d.recorded), jsonText(d.unit));
                }
                if (!found.isEmpty())
                    code = qMax(code, int(Differs));
            }
            unit[QStringLiteral("differences")] = differing;
            units.append(unit);
            if (!json)
                out << port << "  " << session.model << ' ' << uid << "  " << verdict << '\n';
        }
        if (found == 0 && code == Done)
            fail(NoUnit, QStringLiteral("no supported unit was found"));
    }
    if (json) {
        out << QJsonDocument(QJsonObject{{"command", "audit"},
                                         {"units", units},
                                         {"exit", code},
                                         {"errors", QJsonArray::fromStringList(errors)}})
                   .toJson(QJsonDocument::Indented);
    }
    out.flush();
    err.flush();
    return code;
}

} // namespace cli
