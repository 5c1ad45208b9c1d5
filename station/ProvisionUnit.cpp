#include "station/ProvisionUnit.h"

#include "files/SettingsApply.h"
#include "link/DeviceSession.h"

#include <QDateTime>
#include <QElapsedTimer>

namespace provision {

namespace {

constexpr int progressIntervalMs = 50;

QString lostAt(const QString &key)
{
    return QStringLiteral("the unit stopped answering at %1").arg(key);
}

QString noValue(const QString &key, const QString &words)
{
    return QStringLiteral("%1: the unit's answer held no value ('%2')").arg(key, words);
}

} // namespace

void UnitWorker::identify()
{
    m_serial = std::make_unique<Serial>();
    Identity identity;
    const session::Result result = session::connectPatiently(*m_serial, m_port);
    if (!result.ready()) {
        identity.failure = session::describe(result);
        identity.busy = result.open == session::OpenResult::Busy;
        emit identified(m_id, identity);
        end();
        return;
    }
    m_family = result.info->family;
    m_model = result.info->number;
    identity.model = m_model;
    identity.family = m_family;
    QStringList keys = {QStringLiteral("identity.uid"), QStringLiteral("identity.software")};
    keys += m_extraKeys.value(int(m_family));
    for (const QString &key : keys) {
        const settings::Reading reading = settings::read(*m_serial, *settings::find(m_family, key));
        if (session::unitLost(*m_serial)) {
            identity.failure = lostAt(key);
            break;
        }
        if (key == QLatin1String("identity.software")) {
            identity.software = reading.value ? reading.value->toString() : reading.words;
        } else if (!reading.value) {
            identity.failure = noValue(key, reading.words);
            break;
        } else if (key == QLatin1String("identity.uid")) {
            identity.uid = reading.value->toString();
        } else {
            identity.current.insert(key, *reading.value);
        }
    }
    emit identified(m_id, identity);
    if (!identity.failure.isEmpty())
        end();
}

void UnitWorker::write(const QVector<settingsfile::Entry> &wanted, const QString &recordPath)
{
    const QString failure = check(wanted, recordPath);
    emit done(m_id, failure.isEmpty(), failure);
    end();
}

// Reads, writes what differs and reads everything back; empty when every key holds what was
// meant for it.
QString UnitWorker::check(const QVector<settingsfile::Entry> &wanted, const QString &recordPath)
{
    using settingsapply::Status;
    const int keys = wanted.size();
    int total = 3 * keys; // until the unit is read: every key read, written and read back
    int offset = 0;
    settingsapply::Control control;
    control.cancelled = [this] { return m_cancel->load(); };
    // A few updates a second are all a progress bar shows; one per command would wake the
    // station's thread for every answer of every unit.
    QElapsedTimer lastShown;
    control.progress = [&](int done, int, const QString &) {
        if (lastShown.isValid() && !lastShown.hasExpired(progressIntervalMs))
            return;
        lastShown.start();
        emit progress(m_id, offset + done, total);
    };
    const settingsapply::Plan plan = settingsapply::plan(*m_serial, m_family, wanted, control);
    if (plan.cancelled)
        return QStringLiteral("interrupted");
    if (plan.lost)
        return lostAt(wanted.at(plan.rows.size()).setting->key);
    for (const settingsapply::Row &row : plan.rows) {
        if (!row.unit)
            return noValue(row.setting->key, row.unitWords);
    }
    const QStringList chosen = plan.differing();
    offset = keys;
    total = keys + settingsapply::writeOrder(plan, chosen).size() + plan.rows.size();
    const settingsapply::Report report = settingsapply::execute(*m_serial, plan, chosen, control);
    if (!report.refused.isEmpty())
        return report.refused;
    if (report.cancelled)
        return QStringLiteral("interrupted");
    if (report.lost) {
        return lostAt(report.lostAt) + QStringLiteral(" (%1 of %2 keys to write were written and "
                                                      "verified)")
                                           .arg(report.withStatus(Status::Written).size())
                                           .arg(chosen.size());
    }
    QStringList failed;
    for (const settingsapply::Result &r : report.rows) {
        if (r.status != Status::Failed)
            continue;
        if (!r.after) {
            failed.append(noValue(r.setting->key, r.afterWords));
        } else {
            failed.append(QStringLiteral("%1 holds %2, not %3")
                              .arg(r.setting->key, settings::toText(*r.setting, *r.after),
                                   settings::toText(*r.setting, r.wanted)));
        }
    }
    if (!failed.isEmpty())
        return failed.join(QLatin1String("; "));
    if (!recordPath.isEmpty()) {
        settingsapply::Control recordControl;
        recordControl.cancelled = control.cancelled;
        const settingsapply::Snapshot shot = settingsapply::snapshot(
            *m_serial, m_model, m_family, QDateTime::currentDateTime(), recordControl);
        if (shot.cancelled)
            return QStringLiteral("interrupted");
        if (!shot.complete())
            return QStringLiteral("the record could not be read whole");
        QString why;
        if (!settingsfile::save(recordPath, shot.contents, &why))
            return QStringLiteral("record: ") + why;
    }
    emit progress(m_id, total, total);
    return QString();
}

} // namespace provision
