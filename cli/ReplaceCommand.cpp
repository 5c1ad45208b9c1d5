#include "cli/ReplaceCommand.h"

#include "cli/ExitCodes.h"
#include "cli/OptionScan.h"
#include "files/SettingsApply.h"
#include "link/DeviceSession.h"
#include "link/PortSource.h"
#include "link/Serial.h"
#include "record/Audit.h"
#include "record/Record.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTextStream>

namespace cli {

namespace {

const QStringList replaceValued = {"--record", "--port"};
const QStringList replaceFlags = {"--help", "-h"};

} // namespace

int replaceCommandAt(const QStringList &words)
{
    return commandAt(words, QStringLiteral("replace"));
}

int replaceCommand(const QStringList &words, QTextStream &out, QTextStream &err)
{
    const auto finish = [&](int code, const QString &line) {
        if (!line.isEmpty())
            err << "vantelo-cli: " << line << '\n';
        out.flush();
        err.flush();
        return code;
    };
    const OptionScan scan = scanOptions(words, replaceValued, replaceFlags);
    QString why = !scan.unknown.isEmpty() ? QStringLiteral("unknown option '%1'").arg(scan.unknown)
                                          : scan.error;
    QString url = record::defaultUrl(), port;
    for (const OptionScan::Option &option : scan.options)
        (option.name == QLatin1String("--record") ? url : port) =
            option.name == QLatin1String("--port") ? PortSource::openablePath(option.value)
                                                   : option.value;
    if (scan.has(QStringLiteral("--help"))) {
        out << "Usage: vantelo-cli replace OLD_UID --record URL [--port PATH]\n"
               "Gives the attached unit everything OLD_UID's last PASS result holds, reads it "
               "back,\nand records it as a PASS in OLD_UID's slot. Exit codes as for apply.\n";
        return finish(Done, QString());
    }
    static const QRegularExpression uidForm(QStringLiteral("^[0-9A-Fa-f]{12}$"));
    if (why.isEmpty() &&
        (scan.positional.size() != 1 || !uidForm.match(scan.positional.first()).hasMatch()))
        why = QStringLiteral("replace needs one OLD_UID of twelve hexadecimal digits");
    if (why.isEmpty() && url.isEmpty())
        why = QStringLiteral("no record given (--record URL, or VANTELO_RECORD)");
    if (!why.isEmpty())
        return finish(Usage, why + QStringLiteral("\nTry 'vantelo-cli --help' for more "
                                                  "information."));
    const QString old = scan.positional.first().toUpper();

    // Everything that can refuse does so before the first command goes to the unit.
    record::Record rig;
    if (!rig.open(url))
        return finish(RecordProblem, rig.errorString());
    const auto history = rig.history(old);
    if (!history)
        return finish(RecordProblem, rig.errorString());
    const auto last = std::find_if(history->begin(), history->end(),
                                   [](const record::HistoryEntry &e) { return e.pass; });
    if (last == history->end() || last->settings.isEmpty())
        return finish(Usage, QStringLiteral("%1 has no PASS result with its settings in the "
                                            "record; nothing sent")
                                 .arg(old));
    const ModelInfo *oldModel = catalogue::find(last->model);
    if (port.isEmpty()) {
        QStringList supported;
        for (const PortInfo &info : PortSource::availablePorts()) {
            if (info.isSupported() && !supported.contains(info.path()))
                supported.append(info.path());
        }
        if (supported.size() != 1)
            return finish(NoUnit, QStringLiteral("%1 supported units are attached; choose one "
                                                 "with --port")
                                      .arg(supported.size()));
        port = supported.first();
    }
    Serial serial;
    const session::Result session = session::connectPatiently(serial, port);
    if (!session.ready())
        return finish(NoUnit, QStringLiteral("%1: %2").arg(port, session::describe(session)));
    const Family family = session.info->family;
    if (!oldModel || oldModel->family != family)
        return finish(Usage,
                      QStringLiteral("the unit on %1 is a %2, %3 was a %4; nothing sent")
                          .arg(port, catalogue::familyName(family), old,
                               oldModel ? catalogue::familyName(oldModel->family) : last->model));
    QVector<settingsfile::Entry> wanted;
    for (const settings::Setting &setting : settings::forFamily(family)) {
        if (setting.isReadOnly() || !last->settings.contains(setting.key))
            continue;
        const auto value = settings::fromJson(setting, last->settings.value(setting.key), &why);
        if (!value)
            return finish(RecordProblem,
                          QStringLiteral("%1's %2 in the record: %3").arg(old, setting.key, why));
        wanted.append({&setting, *value});
    }

    const settingsapply::Plan plan = settingsapply::plan(serial, family, wanted);
    if (!plan.complete())
        return finish(NoUnit, QStringLiteral("%1: the unit could not be read whole").arg(port));
    const settingsapply::Report report = settingsapply::execute(serial, plan, plan.differing());
    if (!report.refused.isEmpty())
        return finish(RecordProblem, report.refused);
    if (report.lost)
        return finish(NoUnit,
                      QStringLiteral("the unit stopped answering (at %1)").arg(report.lostAt));
    const settingsapply::Snapshot now =
        settingsapply::snapshot(serial, session.model, family, QDateTime::currentDateTime());
    if (!now.complete())
        return finish(NoUnit,
                      QStringLiteral("%1: the unit could not be read back whole").arg(port));

    record::ResultEntry entry;
    entry.unit = {now.contents.identity.uid, session.model, QString()};
    entry.placement = last->placement;
    entry.station = record::defaultStation();
    entry.templateName = QStringLiteral("replacement of %1").arg(old);
    entry.settings = record::settingsJson(now.contents);
    const QStringList failed = report.withStatus(settingsapply::Status::Failed);
    if (!failed.isEmpty()) {
        entry.reason = QStringLiteral("did not take: %1").arg(failed.join(QLatin1String(", ")));
        if (!rig.fail(entry, nullptr))
            return finish(RecordProblem, rig.errorString());
        return finish(Differs, QStringLiteral("%1 %2").arg(entry.unit.uid, entry.reason));
    }
    if (!rig.replace(old, entry))
        return finish(RecordProblem, rig.errorString());
    const record::Placement &p = entry.placement;
    out << QStringLiteral("%1 replaces %2 in universe %3, address %4-%5, label \"%6\": %7 "
                          "settings written, every setting read back as recorded\n")
               .arg(entry.unit.uid, old)
               .arg(p.universe)
               .arg(p.address)
               .arg(p.address + qMax(p.footprint, 1) - 1)
               .arg(p.label)
               .arg(report.written.size());
    return finish(Done, QString());
}

} // namespace cli
