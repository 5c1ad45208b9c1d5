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

namespace {

Placing recordFault(const record::Record &record, Placing placing = {})
{
    placing.recordFault = true;
    placing.problem = record.problem();
    placing.error = record.errorString();
    return placing;
}

void putValue(QVector<settingsfile::Entry> &wanted, const QString &key,
              const settings::Value &value)
{
    const auto at = std::find_if(wanted.begin(), wanted.end(), [&](const settingsfile::Entry &e) {
        return e.setting->key == key;
    });
    if (at != wanted.end())
        at->value = value;
}

// The first planned slot the record neither holds for another unit nor has reserved for another
// station.
Placing placePlanned(record::Record &record, const RecordJob &job, Placing placing,
                     const QString &model, const QString &uid)
{
    placing.planned = true;
    const std::optional<QVector<record::HeldSlot>> held = record.units(std::nullopt);
    if (!held)
        return recordFault(record, placing);
    QHash<QString, QString> holders; // slot UUID -> the unit holding it
    for (const record::HeldSlot &h : *held)
        holders.insert(h.slot, h.uid.toUpper());
    for (const patch::Slot &slot : job.planned) {
        const QString uuid = slot.uuid.toString(QUuid::WithoutBraces);
        const QString holder = holders.value(uuid);
        if (!holder.isEmpty() && holder != uid.trimmed().toUpper())
            continue;
        // A unit provisioned again into the slot it holds needs no reservation: its own slot
        // keeps the range from every other station.
        if (holder.isEmpty()) {
            placing.reservation = record.reserve(slot.universe, slot.address, slot.footprint(),
                                                 job.station, job.leaseSeconds, true);
            placing.reservedAt.start();
            if (!placing.reservation && record.problem() == record::Problem::NoRoom)
                continue;
            if (!placing.reservation)
                return recordFault(record, placing);
        }
        for (settingsfile::Entry &entry : placing.wanted) {
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
        placing.slotUuid = uuid;
        return placing;
    }
    placing.failure = patch::noSlotLeft(model);
    return placing;
}

// Reserves the unit's range and gives it its place: runs on the station's record line.
Placing place(record::Record &record, const RecordJob &job, QVector<settingsfile::Entry> wanted,
              const QString &model, const QString &uid)
{
    Placing placing;
    placing.wanted = std::move(wanted);
    if (!record.isOpen() && !record.open(job.url))
        return recordFault(record, placing);
    if (!job.planned.isEmpty())
        return placePlanned(record, job, std::move(placing), model, uid);
    int address = job.address;
    if (job.footprint > 0) {
        placing.reservation =
            record.reserve(job.universe, job.from, job.footprint, job.station, job.leaseSeconds);
        placing.reservedAt.start();
        if (!placing.reservation) {
            if (record.problem() != record::Problem::NoRoom)
                return recordFault(record, placing);
            placing.failure = QStringLiteral("address range exhausted");
            return placing;
        }
        address = placing.reservation->first;
        putValue(placing.wanted, QStringLiteral("dmx.address"), qlonglong(address));
    }
    // {n}: the unit's place among the universe's held and reserved ranges, so that numbers follow
    // addresses; past any number whose label a held slot already shows.
    const std::optional<record::UniverseMap> map = record.map(job.universe);
    if (!map)
        return recordFault(record, placing);
    int n = 1;
    for (const record::HeldSlot &held : map->held)
        n += held.address > 0 && held.address < address;
    for (const record::Reservation &r : map->reservations)
        n += (!placing.reservation || r.id != placing.reservation->id) && r.first < address;
    if (job.labelPattern) {
        const auto taken = [&](const QString &text) {
            return std::any_of(map->held.begin(), map->held.end(),
                               [&](const record::HeldSlot &h) { return h.label == text; });
        };
        const auto expand = [&] {
            return expandLabel(*job.labelPattern, {n, address, model, uid});
        };
        while (job.labelPattern->contains(QLatin1String("{n}")) && taken(expand()))
            ++n;
        placing.label = expand();
        putValue(placing.wanted, QStringLiteral("device.label"), placing.label);
    }
    placing.address = address;
    placing.n = n;
    return placing;
}

} // namespace

void UnitWorker::write(QVector<settingsfile::Entry> wanted, const QString &recordPath,
                       const std::optional<RecordJob> &job)
{
    m_job = job;
    // The record works out the unit's place while the unit is read: the reservation may wait its
    // turn behind other units', and nothing is written before it is held.
    if (job) {
        m_line = job->line;
        // The job the line runs holds no share of the line: its last owner must not be the
        // line's own thread, which cannot wait for itself.
        RecordJob placing = *job;
        placing.line.reset();
        m_placement =
            m_line
                ->post([job = std::move(placing), wanted, model = m_model, uid = m_uid](
                           record::Record &r) { return place(r, job, wanted, model, uid); })
                .share();
    }
    const QString failure = check(wanted, recordPath);
    emit done(m_id, failure.isEmpty(), failure);
    if (!job)
        end();
}

QString UnitWorker::recordFailure(record::Problem problem, const QString &error)
{
    if (problem == record::Problem::Unreachable) {
        if (!m_recordLost)
            emit recordLost(m_id, error);
        m_recordLost = true;
        return QStringLiteral("record unreachable");
    }
    return QStringLiteral("record: ") + error;
}

void UnitWorker::holdReservation(const Placing &placing)
{
    if (m_reservation || !placing.reservation)
        return;
    m_reservation = placing.reservation;
    m_renewed = placing.reservedAt;
}

QString UnitWorker::takePlace(const Placing &placing, settingsapply::Plan &plan)
{
    holdReservation(placing);
    if (placing.recordFault)
        return recordFailure(placing.problem, placing.error);
    if (placing.planned)
        emit tookSlot(m_id, placing.slotUuid);
    if (!placing.failure.isEmpty())
        return placing.failure;
    if (!placing.planned)
        emit placed(m_id, placing.address, placing.n, placing.label);
    for (settingsapply::Row &row : plan.rows) {
        const auto at =
            std::find_if(placing.wanted.begin(), placing.wanted.end(),
                         [&](const settingsfile::Entry &e) { return e.setting == row.setting; });
        if (at != placing.wanted.end())
            row.wanted = at->value;
    }
    return QString();
}

bool UnitWorker::renewLease()
{
    // The lease runs from the reservation, which may be made while the unit is still read.
    if (!m_reservation && m_placement.valid() &&
        m_placement.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        holdReservation(m_placement.get());
    if (!m_reservation || m_recordLost)
        return true;
    // A third of the lease leaves two thirds for a renewal that has to wait for a busy record.
    if (m_renewed.elapsed() < m_job->leaseSeconds * 1000 / 3)
        return true;
    m_renewed.start();
    const Placing renewal = m_line->run(
        [reservation = *m_reservation, lease = m_job->leaseSeconds](record::Record &r) mutable {
            Placing renewed = r.renew(reservation, lease) ? Placing() : recordFault(r);
            renewed.reservation = reservation;
            return renewed;
        });
    m_reservation = renewal.reservation;
    if (!renewal.recordFault)
        return true;
    if (renewal.problem == record::Problem::Unreachable) {
        // The unit in progress finishes; the log keeps it.
        recordFailure(renewal.problem, renewal.error);
        return true;
    }
    return false;
}

void UnitWorker::recordResult(record::ResultEntry entry, bool pass)
{
    // A unit that never reached the record, or lost it, leaves its result to the log alone.
    if (!m_line || m_recordLost) {
        end();
        return;
    }
    entry.settings = m_readBack;
    const Placing recorded =
        m_line->run([entry, pass, reservation = m_reservation](record::Record &r) {
            const record::Reservation *held = reservation ? &*reservation : nullptr;
            const bool ok = pass ? bool(r.pass(entry, held)) : r.fail(entry, held);
            return ok ? Placing() : recordFault(r);
        });
    if (recorded.recordFault && recorded.problem == record::Problem::Unreachable)
        recordFailure(recorded.problem, recorded.error);
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
    settingsapply::Plan plan = settingsapply::plan(*m_serial, m_family, wanted, control);
    // The place first: a unit that has none fails for that, whatever its reading found.
    if (m_placement.valid()) {
        const QString why = takePlace(m_placement.get(), plan);
        if (!why.isEmpty())
            return why;
    }
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
