#include "station/ProvisionUnit.h"

#include "files/SettingsApply.h"
#include "link/DeviceSession.h"
#include "station/ProvisionSetup.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>

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
            m_uid = identity.uid;
        } else {
            identity.current.insert(key, *reading.value);
        }
    }
    emit identified(m_id, identity);
    if (!identity.failure.isEmpty())
        end();
}

void UnitWorker::write(QVector<settingsfile::Entry> wanted, const QString &recordPath,
                       const std::optional<RecordJob> &job)
{
    m_job = job;
    QString failure = job ? place(wanted, *job) : QString();
    if (failure.isEmpty())
        failure = check(wanted, recordPath);
    emit done(m_id, failure.isEmpty(), failure);
    if (!job)
        end();
}

QString UnitWorker::recordFailure()
{
    if (m_record->problem() == record::Problem::Unreachable) {
        if (!m_recordLost)
            emit recordLost(m_id, m_record->errorString());
        m_recordLost = true;
        return QStringLiteral("record unreachable");
    }
    return QStringLiteral("record: ") + m_record->errorString();
}

QString UnitWorker::place(QVector<settingsfile::Entry> &wanted, const RecordJob &job)
{
    m_record = std::make_unique<record::Record>();
    if (!m_record->open(job.url)) {
        const QString why = recordFailure();
        m_record.reset();
        return why;
    }
    const auto entry = [&](const QString &key) {
        return std::find_if(wanted.begin(), wanted.end(),
                            [&](const settingsfile::Entry &e) { return e.setting->key == key; });
    };
    if (!job.planned.isEmpty())
        return placePlanned(wanted, job);
    int address = job.address;
    if (job.footprint > 0) {
        m_reservation =
            m_record->reserve(job.universe, job.from, job.footprint, job.station, job.leaseSeconds);
        if (!m_reservation) {
            return m_record->problem() == record::Problem::NoRoom
                       ? QStringLiteral("address range exhausted")
                       : recordFailure();
        }
        m_renewed.start();
        address = m_reservation->first;
        const auto at = entry(QStringLiteral("dmx.address"));
        if (at != wanted.end())
            at->value = qlonglong(address);
    }
    // {n}: the unit's place among the universe's held and reserved ranges, so that numbers follow
    // addresses; past any number whose label a held slot already shows.
    const std::optional<record::UniverseMap> map = m_record->map(job.universe);
    if (!map)
        return recordFailure();
    int n = 1;
    for (const record::HeldSlot &held : map->held)
        n += held.address > 0 && held.address < address;
    for (const record::Reservation &r : map->reservations)
        n += (!m_reservation || r.id != m_reservation->id) && r.first < address;
    QString label;
    if (job.labelPattern) {
        const auto taken = [&](const QString &text) {
            return std::any_of(map->held.begin(), map->held.end(),
                               [&](const record::HeldSlot &h) { return h.label == text; });
        };
        const auto expand = [&] {
            return expandLabel(*job.labelPattern, {n, address, m_model, m_uid});
        };
        while (job.labelPattern->contains(QLatin1String("{n}")) && taken(expand()))
            ++n;
        label = expand();
        const auto at = entry(QStringLiteral("device.label"));
        if (at != wanted.end())
            at->value = label;
    }
    emit placed(m_id, address, n, label);
    return QString();
}

QString UnitWorker::placePlanned(QVector<settingsfile::Entry> &wanted, const RecordJob &job)
{
    const std::optional<QVector<record::HeldSlot>> held = m_record->units(std::nullopt);
    if (!held)
        return recordFailure();
    QHash<QString, QString> holders; // slot UUID -> the unit holding it
    for (const record::HeldSlot &h : *held)
        holders.insert(h.slot, h.uid.toUpper());
    for (const patch::Slot &slot : job.planned) {
        const QString uuid = slot.uuid.toString(QUuid::WithoutBraces);
        const QString holder = holders.value(uuid);
        if (!holder.isEmpty() && holder != m_uid.trimmed().toUpper())
            continue;
        // A unit provisioned again into the slot it holds needs no reservation: its own slot
        // keeps the range from every other station.
        if (holder.isEmpty()) {
            m_reservation = m_record->reserve(slot.universe, slot.address, slot.footprint(),
                                              job.station, job.leaseSeconds, true);
            if (!m_reservation && m_record->problem() == record::Problem::NoRoom)
                continue;
            if (!m_reservation)
                return recordFailure();
            m_renewed.start();
        }
        for (settingsfile::Entry &entry : wanted) {
            const QString &key = entry.setting->key;
            if (key == QLatin1String("dmx.address"))
                entry.value = qlonglong(slot.address);
            else if (key == QLatin1String("dmx.universe"))
                entry.value = qlonglong(slot.universe);
            else if (key == QLatin1String("device.label"))
                entry.value = slot.label;
            else if (key == QLatin1String("dmx.personality"))
                entry.value = *settings::fromText(*entry.setting, slot.personality(), nullptr);
        }
        emit tookSlot(m_id, uuid);
        return QString();
    }
    emit tookSlot(m_id, QString());
    return patch::noSlotLeft(m_model);
}

bool UnitWorker::renewLease()
{
    if (!m_reservation || m_recordLost)
        return true;
    // A third of the lease leaves two thirds for a renewal that has to wait for a busy record.
    if (m_renewed.elapsed() < m_job->leaseSeconds * 1000 / 3)
        return true;
    m_renewed.start();
    if (m_record->renew(*m_reservation, m_job->leaseSeconds))
        return true;
    if (m_record->problem() == record::Problem::Unreachable) {
        recordFailure(); // the unit in progress finishes; the log keeps it
        return true;
    }
    return false;
}

void UnitWorker::recordResult(record::ResultEntry entry, bool pass)
{
    // A unit that never reached the record, or lost it, leaves its result to the log alone.
    if (!m_record || m_recordLost) {
        end();
        return;
    }
    entry.settings = m_readBack;
    const record::Reservation *held = m_reservation ? &*m_reservation : nullptr;
    const bool ok = pass ? bool(m_record->pass(entry, held)) : m_record->fail(entry, held);
    if (!ok && m_record->problem() == record::Problem::Unreachable)
        recordFailure();
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
    bool leaseLost = false;
    control.cancelled = [&] {
        leaseLost = leaseLost || !renewLease();
        return leaseLost || m_cancel->load();
    };
    // A few updates a second are all a progress bar shows; one per command would wake the
    // station's thread for every answer of every unit.
    QElapsedTimer lastShown;
    control.progress = [&](int done, int, const QString &) {
        if (lastShown.isValid() && !lastShown.hasExpired(progressIntervalMs))
            return;
        lastShown.start();
        emit progress(m_id, offset + done, total);
    };
    const auto interrupted = [&](int written, int toWrite) {
        if (leaseLost)
            return QStringLiteral("record: the reservation ran out and was taken");
        return toWrite < 0 ? QStringLiteral("interrupted")
                           : QStringLiteral("interrupted (%1 of %2 keys to write were written and "
                                            "verified)")
                                 .arg(written)
                                 .arg(toWrite);
    };
    const settingsapply::Plan plan = settingsapply::plan(*m_serial, m_family, wanted, control);
    if (plan.cancelled)
        return interrupted(0, -1);
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
    for (const settingsapply::Result &r : report.rows) {
        if (r.after)
            m_readBack.insert(r.setting->key, settings::toJson(*r.setting, *r.after));
    }
    if (report.cancelled)
        return interrupted(report.withStatus(Status::Written).size(), chosen.size());
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
            return interrupted(0, -1);
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
