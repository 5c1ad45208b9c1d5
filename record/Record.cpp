#include "record/Record.h"

#include "record/Schema.h"
#include "unit/DmxRules.h"
#include "unit/ModelCatalogue.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QThread>
#include <QUuid>

namespace record {

namespace {

QAtomicInt connectionCount;

// Qt binds a null QString as SQL NULL; the record's text columns hold '' for "none".
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

// The record keeps every time in UTC, so that text order is time order across stations.
QString utcTime(const QString &text)
{
    // A result made now keeps its milliseconds: two in one second are two facts.
    const QDateTime moment =
        text.isEmpty() ? QDateTime::currentDateTimeUtc() : QDateTime::fromString(text, Qt::ISODate);
    if (!moment.isValid())
        return text;
    return moment.toUTC().toString(moment.time().msec()
                                       ? QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'")
                                       : QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

bool validUid(const QString &uid)
{
    static const QRegularExpression form(QStringLiteral("^[0-9A-F]{12}$"));
    return form.match(uid).hasMatch();
}

// The first line of a driver's message, without libpq's severity prefix.
QString firstLine(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    text = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    // libpq puts where it connected before what the server said; the server's words matter.
    static const QRegularExpression severity(
        QStringLiteral("^(connection to server .* failed: )?(ERROR|FATAL):\\s+"));
    return text.remove(severity);
}

Problem classify(const QSqlError &error, bool postgres)
{
    const QString code = error.nativeErrorCode();
    const QString text = error.databaseText() + QLatin1Char(' ') + error.driverText();
    if (postgres) {
        if (text.contains(QLatin1String("password authentication failed")) ||
            text.contains(QLatin1String("no password supplied")) ||
            text.contains(QLatin1String("no pg_hba.conf entry")) ||
            (text.contains(QLatin1String("role \"")) &&
             text.contains(QLatin1String("does not exist"))))
            return Problem::Login;
        if (code == QLatin1String("40001") || code == QLatin1String("40P01") ||
            code == QLatin1String("23P01"))
            return Problem::Conflict;
        if (code == QLatin1String("42501"))
            return Problem::NoRights;
        if (code == QLatin1String("42P01"))
            return Problem::Schema;
        if (code.startsWith(QLatin1String("23")) || code.startsWith(QLatin1String("22")) ||
            code == QLatin1String("P0001"))
            return Problem::BadInput;
        return Problem::Unreachable; // connection lost, server shutting down, ...
    }
    switch (code.toInt()) {
    case 5: // busy
    case 6: // locked
        return Problem::Conflict;
    case 8: // read-only
    case 3: // permission
        return Problem::NoRights;
    case 19: // constraint, and our own triggers
        return Problem::BadInput;
    default:
        return error.type() == QSqlError::ConnectionError ? Problem::Unreachable
                                                          : Problem::BadInput;
    }
}

QString phrase(Problem problem)
{
    switch (problem) {
    case Problem::Unreachable:
        return QStringLiteral("record unreachable: ");
    case Problem::Login:
        return QStringLiteral("the record refused the login: ");
    case Problem::NoRights:
        return QStringLiteral("no write rights on the record: ");
    default:
        return QString();
    }
}

QString valueText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isUndefined() || value.isNull())
        return QStringLiteral("(none)");
    return QString::fromUtf8(
        QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1));
}

// What changed from one PASS to the next: the place in the rig, and every setting both hold.
QStringList changes(const HistoryEntry &before, const HistoryEntry &after)
{
    QStringList out;
    const auto compare = [&](const QString &key, const QString &a, const QString &b) {
        if (a != b)
            out.append(QStringLiteral("%1: %2 -> %3").arg(key, a, b));
    };
    compare(QStringLiteral("universe"), QString::number(before.placement.universe),
            QString::number(after.placement.universe));
    compare(QStringLiteral("address"), QString::number(before.placement.address),
            QString::number(after.placement.address));
    compare(QStringLiteral("footprint"), QString::number(before.placement.footprint),
            QString::number(after.placement.footprint));
    compare(QStringLiteral("label"), before.placement.label, after.placement.label);
    for (auto it = after.settings.begin(); it != after.settings.end(); ++it) {
        if (before.settings.contains(it.key()))
            compare(it.key(), valueText(before.settings.value(it.key())), valueText(it.value()));
    }
    return out;
}

} // namespace

QString defaultStation()
{
    return QSysInfo::machineHostName();
}

Record::Record() = default;

Record::~Record()
{
    disconnect();
}

void Record::disconnect()
{
    if (m_name.isEmpty())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
    m_name.clear();
}

bool Record::isOpen() const
{
    return m_db.isOpen();
}

bool Record::setFailure(Problem problem, const QString &text)
{
    m_problem = problem;
    m_error = m_location.scrub(
        (m_location.redacted.isEmpty() ? QString() : m_location.redacted + QStringLiteral(": ")) +
        phrase(problem) + text);
    return false;
}

bool Record::failQuery(const QSqlQuery &query)
{
    const QSqlError error = query.lastError();
    m_lastNativeCode = error.nativeErrorCode();
    // PostgreSQL refuses everything after an error until the rollback, even Qt's freeing of the
    // statements still open: end the transaction now.
    if (m_inTransaction && m_location.engine == Engine::Postgres) {
        m_inTransaction = false;
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
    }
    return setFailure(classify(error, m_location.engine == Engine::Postgres), firstLine(error));
}

bool Record::connect(const QString &url, bool create)
{
    disconnect();
    m_location = Location();
    m_problem = Problem::None;
    m_error.clear();
    QString why;
    const std::optional<Location> location = parseUrl(url, &why);
    if (!location)
        return setFailure(Problem::BadInput, why);
    m_location = *location;
    m_name = QStringLiteral("vantelo-record-%1").arg(connectionCount.fetchAndAddRelaxed(1));
    if (m_location.engine == Engine::Sqlite) {
        const QFileInfo file(m_location.path);
        const QFileInfo folder(file.absolutePath());
        if (!folder.isDir())
            return setFailure(Problem::Unreachable,
                              QStringLiteral("no folder %1").arg(folder.filePath()));
        if (!file.exists() && !create)
            return setFailure(Problem::Schema,
                              QStringLiteral("no record file yet (run vantelo-cli record init)"));
        // Even a reader writes the shared-memory index of the journal beside the file.
        if (!folder.isWritable())
            return setFailure(Problem::NoRights,
                              QStringLiteral("the folder %1 is read-only (SQLite writes its "
                                             "journal beside the record)")
                                  .arg(folder.filePath()));
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(m_location.path);
        // Other stations on this machine write too: wait for them rather than fail.
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    } else {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        m_db.setHostName(m_location.host);
        if (m_location.port > 0)
            m_db.setPort(m_location.port);
        m_db.setUserName(m_location.user);
        if (!m_location.password.isEmpty())
            m_db.setPassword(m_location.password);
        m_db.setDatabaseName(m_location.database);
        m_db.setConnectOptions(m_location.connectOptions.join(QLatin1Char(';')));
    }
    if (!m_db.open()) {
        const QSqlError error = m_db.lastError();
        const Problem problem = classify(error, m_location.engine == Engine::Postgres);
        return setFailure(problem == Problem::Login || problem == Problem::NoRights
                              ? problem
                              : Problem::Unreachable,
                          firstLine(error));
    }
    if (m_location.engine == Engine::Sqlite) {
        // Reads of a large rig map the file instead of copying it page by page.
        for (const char *pragma : {"PRAGMA foreign_keys = ON", "PRAGMA journal_mode = WAL",
                                   "PRAGMA mmap_size = 268435456"}) {
            QSqlQuery query(m_db);
            if (!query.exec(QString::fromLatin1(pragma)))
                return failQuery(query);
        }
    }
    return true;
}

bool Record::open(const QString &url)
{
    if (!connect(url, false))
        return false;
    QString why;
    const int installed = schema::installed(m_db, &why);
    if (installed < 0)
        return setFailure(Problem::Unreachable, m_location.scrub(why));
    if (installed == schema::version)
        return true;
    m_db.close();
    if (installed == 0)
        return setFailure(Problem::Schema, QStringLiteral("the record has no tables yet (run "
                                                          "vantelo-cli record init)"));
    return setFailure(Problem::Schema,
                      installed > schema::version
                          ? QStringLiteral("the record's schema version %1 is newer than this "
                                           "program's %2; use a newer vantelo-cli")
                                .arg(installed)
                                .arg(schema::version)
                          : QStringLiteral("the record's schema version %1 is older than this "
                                           "program's %2 (run vantelo-cli record init)")
                                .arg(installed)
                                .arg(schema::version));
}

bool Record::init(const QString &url)
{
    if (!connect(url, true))
        return false;
    QString why;
    if (schema::upgrade(m_db, m_location.engine, &why))
        return true;
    const QSqlError error(QString(), why);
    Problem problem = Problem::Schema;
    if (why.contains(QLatin1String("permission denied")) ||
        why.contains(QLatin1String("must be owner")) || why.contains(QLatin1String("readonly")))
        problem = Problem::NoRights;
    return setFailure(problem, m_location.scrub(why.section(QLatin1Char('\n'), 0, 0)));
}

bool Record::write(const std::function<bool()> &body, int universe)
{
    if (!isOpen())
        return setFailure(Problem::Unreachable, QStringLiteral("not open"));
    const bool postgres = m_location.engine == Engine::Postgres;
    // Serializable on PostgreSQL: a reservation reads two tables, and no other writer's change
    // may fall between the reads. SQLite lets one writer in at a time.
    const QString begin = postgres ? QStringLiteral("BEGIN ISOLATION LEVEL SERIALIZABLE")
                                   : QStringLiteral("BEGIN IMMEDIATE");
    // Writers of one universe would mostly fail each other's serializable transactions; they
    // queue on a lock of the universe instead, taken before the transaction's snapshot. The
    // server drops it with the connection of a station that dies.
    const bool lock = postgres && universe > 0;
    const auto universeLock = [&](const char *function) {
        QSqlQuery query(m_db);
        query.prepare(QStringLiteral("SELECT %1(7146, :universe)").arg(QLatin1String(function)));
        query.bindValue(QStringLiteral(":universe"), universe);
        return query.exec() || failQuery(query);
    };
    for (int attempt = 1;; ++attempt) {
        m_problem = Problem::None;
        if (lock && !universeLock("pg_advisory_lock"))
            return false;
        bool ok = false;
        {
            QSqlQuery query(m_db);
            ok = query.exec(begin) || failQuery(query);
        }
        m_inTransaction = ok;
        ok = ok && body();
        if (ok) {
            QSqlQuery commit(m_db);
            ok = commit.exec(QStringLiteral("COMMIT"));
            if (!ok) {
                // A failed COMMIT ends PostgreSQL's transaction, but not SQLite's.
                m_inTransaction = !postgres;
                failQuery(commit);
            }
        }
        if (!ok && m_inTransaction)
            QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
        m_inTransaction = false;
        if (lock) {
            const Problem problem = m_problem;
            const QString error = m_error;
            universeLock("pg_advisory_unlock");
            m_problem = problem;
            m_error = error;
        }
        if (ok)
            return true;
        if (m_problem != Problem::Conflict || attempt >= maxAttempts)
            return false;
        // Spread the retries of writers that collided, so they do not collide again.
        QThread::msleep(QRandomGenerator::global()->bounded(2, 20) * qMin(attempt, 5));
    }
}

std::optional<qint64> Record::nowMs()
{
    QSqlQuery query(m_db);
    const QString sql =
        m_location.engine == Engine::Postgres
            ? QStringLiteral("SELECT CAST(extract(epoch FROM clock_timestamp()) * 1000 AS BIGINT)")
            : QStringLiteral("SELECT CAST((julianday('now') - 2440587.5) * 86400000 AS INTEGER)");
    if (!query.exec(sql) || !query.next()) {
        failQuery(query);
        return std::nullopt;
    }
    return query.value(0).toLongLong();
}

std::optional<Reservation> Record::reserve(int universe, int from, int footprint,
                                           const QString &station, int leaseSeconds, bool exactly)
{
    if (universe < dmx::firstUniverse || universe > dmx::lastUniverse || from < 1 ||
        from > dmx::lastSlot || footprint < 1 || footprint > dmx::lastSlot || leaseSeconds < 0) {
        setFailure(Problem::BadInput,
                   QStringLiteral("a reservation needs a universe 1-63999, an address 1-512 and "
                                  "a footprint 1-512"));
        return std::nullopt;
    }
    Reservation reservation;
    const bool ok = write(
        [&] {
            const std::optional<qint64> now = nowMs();
            if (!now)
                return false;
            QSqlQuery expire(m_db);
            expire.prepare(
                QStringLiteral("UPDATE reservations SET outcome = 'expired' WHERE universe "
                               "= :universe AND outcome IS NULL AND lease_end <= :now"));
            expire.bindValue(QStringLiteral(":universe"), universe);
            expire.bindValue(QStringLiteral(":now"), *now);
            if (!expire.exec())
                return failQuery(expire);
            QSqlQuery taken(m_db);
            taken.prepare(QStringLiteral(
                "SELECT address, address + footprint - 1 FROM slots WHERE universe = :u1 AND "
                "unit_uid IS NOT NULL AND footprint > 0 UNION ALL SELECT first_address, "
                "last_address FROM reservations WHERE universe = :u2 AND outcome IS NULL ORDER BY "
                "1"));
            taken.bindValue(QStringLiteral(":u1"), universe);
            taken.bindValue(QStringLiteral(":u2"), universe);
            if (!taken.exec())
                return failQuery(taken);
            int first = from;
            while (taken.next()) {
                const int a = taken.value(0).toInt(), b = taken.value(1).toInt();
                if (a > first + footprint - 1)
                    break;
                first = qMax(first, b + 1);
            }
            if (first + footprint - 1 > dmx::lastSlot || (exactly && first != from)) {
                return setFailure(Problem::NoRoom,
                                  QStringLiteral("no free range of %1 slots from address %2 in "
                                                 "universe %3")
                                      .arg(footprint)
                                      .arg(from)
                                      .arg(universe));
            }
            QSqlQuery insert(m_db);
            insert.prepare(QStringLiteral(
                "INSERT INTO reservations (universe, first_address, last_address, station, "
                "lease_end) VALUES (:universe, :first, :last, :station, :lease) RETURNING id"));
            reservation = {0,       universe,
                           first,   first + footprint - 1,
                           station, *now + qint64(leaseSeconds) * 1000};
            insert.bindValue(QStringLiteral(":universe"), universe);
            insert.bindValue(QStringLiteral(":first"), reservation.first);
            insert.bindValue(QStringLiteral(":last"), reservation.last);
            insert.bindValue(QStringLiteral(":station"), text(station));
            insert.bindValue(QStringLiteral(":lease"), reservation.leaseEndMs);
            if (!insert.exec() || !insert.next())
                return failQuery(insert);
            reservation.id = insert.value(0).toLongLong();
            return true;
        },
        universe);
    if (!ok)
        return std::nullopt;
    return reservation;
}

bool Record::renew(Reservation &reservation, int leaseSeconds)
{
    qint64 leaseEnd = 0;
    const bool ok = write([&] {
        const std::optional<qint64> now = nowMs();
        if (!now)
            return false;
        leaseEnd = *now + qint64(leaseSeconds) * 1000;
        QSqlQuery query(m_db);
        query.prepare(QStringLiteral(
            "UPDATE reservations SET lease_end = :lease WHERE id = :id AND outcome IS NULL"));
        query.bindValue(QStringLiteral(":lease"), leaseEnd);
        query.bindValue(QStringLiteral(":id"), reservation.id);
        if (!query.exec())
            return failQuery(query);
        if (query.numRowsAffected() == 1)
            return true;
        return setFailure(Problem::LeaseLost,
                          QStringLiteral("the lease on universe %1, %2-%3 ran out and the range "
                                         "went to another station")
                              .arg(reservation.universe)
                              .arg(reservation.first)
                              .arg(reservation.last));
    });
    if (ok)
        reservation.leaseEndMs = leaseEnd;
    return ok;
}

bool Record::release(const Reservation &reservation)
{
    return write([&] { return endReservation(reservation, QStringLiteral("released"), false); });
}

bool Record::endReservation(const Reservation &reservation, const QString &outcome, bool mustHold)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "UPDATE reservations SET outcome = :outcome WHERE id = :id AND outcome IS NULL"));
    query.bindValue(QStringLiteral(":outcome"), outcome);
    query.bindValue(QStringLiteral(":id"), reservation.id);
    if (!query.exec())
        return failQuery(query);
    if (!mustHold || query.numRowsAffected() == 1)
        return true;
    return setFailure(Problem::LeaseLost,
                      QStringLiteral("the lease on universe %1, %2-%3 ran out and the range went "
                                     "to another station")
                          .arg(reservation.universe)
                          .arg(reservation.first)
                          .arg(reservation.last));
}

bool Record::upsertUnit(const UnitIdentity &unit, const QString &time)
{
    const ModelInfo *model = catalogue::find(unit.model);
    if (!validUid(unit.uid) || !model) {
        return setFailure(Problem::BadInput,
                          QStringLiteral("unit '%1' of model '%2' is no supported unit")
                              .arg(unit.uid, unit.model));
    }
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "INSERT INTO units (uid, model, family, usb_serial, first_seen, last_seen) VALUES (:uid, "
        ":model, :family, :serial, :first, :last) ON CONFLICT (uid) DO UPDATE SET model = "
        "excluded.model, family = excluded.family, usb_serial = CASE WHEN excluded.usb_serial "
        "<> '' THEN excluded.usb_serial ELSE units.usb_serial END, first_seen = CASE WHEN "
        "excluded.first_seen < units.first_seen THEN excluded.first_seen ELSE units.first_seen "
        "END, last_seen = CASE WHEN excluded.last_seen > units.last_seen THEN excluded.last_seen "
        "ELSE units.last_seen END"));
    query.bindValue(QStringLiteral(":uid"), text(unit.uid));
    query.bindValue(QStringLiteral(":model"), text(unit.model));
    query.bindValue(QStringLiteral(":family"), catalogue::familyName(model->family));
    query.bindValue(QStringLiteral(":serial"), text(unit.usbSerial));
    query.bindValue(QStringLiteral(":first"), time);
    query.bindValue(QStringLiteral(":last"), time);
    return query.exec() || failQuery(query);
}

std::optional<QString> Record::takeSlot(const QString &uid, const Placement &placement,
                                        const QString &planned)
{
    if (placement.universe <= 0 || placement.address <= 0)
        return QString();
    // The same place keeps its UUID when a unit is provisioned into it again; a planned slot is
    // the plan's, wherever the record had it before.
    QSqlQuery find(m_db);
    if (!planned.isEmpty()) {
        find.prepare(QStringLiteral("SELECT uuid FROM slots WHERE uuid = :slot"));
        find.bindValue(QStringLiteral(":slot"), planned);
    } else {
        find.prepare(QStringLiteral(
            "SELECT uuid FROM slots WHERE universe = :universe AND address = :address AND "
            "footprint = :footprint AND (unit_uid IS NULL OR unit_uid = :uid) ORDER BY CASE WHEN "
            "unit_uid IS NULL THEN 1 ELSE 0 END"));
        find.bindValue(QStringLiteral(":universe"), placement.universe);
        find.bindValue(QStringLiteral(":address"), placement.address);
        find.bindValue(QStringLiteral(":footprint"), placement.footprint);
        find.bindValue(QStringLiteral(":uid"), text(uid));
    }
    if (!find.exec()) {
        failQuery(find);
        return std::nullopt;
    }
    const bool reuse = find.next();
    const QString slot = reuse                ? find.value(0).toString()
                         : !planned.isEmpty() ? planned
                                              : QUuid::createUuid().toString(QUuid::WithoutBraces);
    find.finish();
    QSqlQuery leave(m_db);
    leave.prepare(
        QStringLiteral("UPDATE slots SET unit_uid = NULL WHERE unit_uid = :uid AND uuid <> :slot"));
    leave.bindValue(QStringLiteral(":uid"), text(uid));
    leave.bindValue(QStringLiteral(":slot"), slot);
    QSqlQuery take(m_db);
    take.prepare(reuse ? QStringLiteral("UPDATE slots SET unit_uid = :uid, label = :label, "
                                        "universe = :universe, address = :address, footprint = "
                                        ":footprint WHERE uuid = :slot")
                       : QStringLiteral("INSERT INTO slots (uuid, universe, address, footprint, "
                                        "label, unit_uid) VALUES (:slot, :universe, :address, "
                                        ":footprint, :label, :uid)"));
    take.bindValue(QStringLiteral(":uid"), text(uid));
    take.bindValue(QStringLiteral(":label"), text(placement.label));
    take.bindValue(QStringLiteral(":slot"), slot);
    take.bindValue(QStringLiteral(":universe"), placement.universe);
    take.bindValue(QStringLiteral(":address"), placement.address);
    take.bindValue(QStringLiteral(":footprint"), placement.footprint);
    if (!leave.exec()) {
        failQuery(leave);
        return std::nullopt;
    }
    if (!take.exec()) {
        failQuery(take);
        return std::nullopt;
    }
    return slot;
}

bool Record::appendResult(const ResultEntry &entry, const QString &slot, bool pass)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "INSERT INTO results (unit_uid, slot_uuid, station, time, template, template_sha256, "
        "universe, address, footprint, label, settings, result, reason) VALUES (:uid, :slot, "
        ":station, :time, :template, :sha, :universe, :address, :footprint, :label, :settings, "
        ":result, :reason) ON CONFLICT (unit_uid, time, result) DO NOTHING"));
    const Placement &p = entry.placement;
    query.bindValue(QStringLiteral(":uid"), text(entry.unit.uid));
    query.bindValue(QStringLiteral(":slot"), slot.isEmpty() ? QVariant(QVariant::String) : slot);
    query.bindValue(QStringLiteral(":station"), text(entry.station));
    query.bindValue(QStringLiteral(":time"), utcTime(entry.time));
    query.bindValue(QStringLiteral(":template"), text(entry.templateName));
    query.bindValue(QStringLiteral(":sha"), text(entry.templateSha256));
    query.bindValue(QStringLiteral(":universe"), p.universe);
    query.bindValue(QStringLiteral(":address"), p.address);
    query.bindValue(QStringLiteral(":footprint"), p.footprint);
    query.bindValue(QStringLiteral(":label"), text(p.label));
    query.bindValue(
        QStringLiteral(":settings"),
        QString::fromUtf8(QJsonDocument(entry.settings).toJson(QJsonDocument::Compact)));
    query.bindValue(QStringLiteral(":result"),
                    pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    query.bindValue(QStringLiteral(":reason"), text(entry.reason));
    return query.exec() || failQuery(query);
}

std::optional<QString> Record::pass(const ResultEntry &entry, const Reservation *reservation)
{
    QString slot;
    const bool ok = write(
        [&] {
            if (reservation && !endReservation(*reservation, QStringLiteral("PASS"), true))
                return false;
            if (!upsertUnit(entry.unit, utcTime(entry.time)))
                return false;
            const std::optional<QString> taken =
                takeSlot(entry.unit.uid, entry.placement, entry.slotUuid);
            if (!taken)
                return false;
            slot = *taken;
            return appendResult(entry, slot, true);
        },
        entry.placement.universe);
    if (!ok)
        return std::nullopt;
    return slot;
}

std::optional<QString> Record::replace(const QString &replaced, const ResultEntry &entry)
{
    QString slot;
    const bool ok = write([&] {
        if (!upsertUnit(entry.unit, utcTime(entry.time)))
            return false;
        QSqlQuery held(m_db);
        held.prepare(QStringLiteral("SELECT uuid FROM slots WHERE unit_uid = :old"));
        held.bindValue(QStringLiteral(":old"), replaced);
        if (!held.exec())
            return failQuery(held);
        if (!held.next()) {
            const std::optional<QString> taken = takeSlot(entry.unit.uid, entry.placement);
            slot = taken.value_or(QString());
            return taken && appendResult(entry, slot, true);
        }
        slot = held.value(0).toString();
        held.finish();
        // A spare leaves the slot it held; the replaced unit leaves its own to it.
        QSqlQuery leave(m_db), take(m_db);
        leave.prepare(QStringLiteral("UPDATE slots SET unit_uid = NULL WHERE unit_uid = :uid"));
        leave.bindValue(QStringLiteral(":uid"), entry.unit.uid);
        take.prepare(QStringLiteral("UPDATE slots SET unit_uid = :uid WHERE uuid = :slot"));
        take.bindValue(QStringLiteral(":uid"), entry.unit.uid);
        take.bindValue(QStringLiteral(":slot"), slot);
        if (!leave.exec())
            return failQuery(leave);
        if (!take.exec())
            return failQuery(take);
        return appendResult(entry, slot, true);
    });
    if (!ok)
        return std::nullopt;
    return slot;
}

bool Record::fail(const ResultEntry &entry, const Reservation *reservation)
{
    return write([&] {
        if (reservation && !endReservation(*reservation, QStringLiteral("FAIL"), false))
            return false;
        // A port that never told its UID leaves nothing to record.
        if (entry.unit.uid.isEmpty())
            return true;
        return upsertUnit(entry.unit, utcTime(entry.time)) && appendResult(entry, QString(), false);
    });
}

std::optional<QString> Record::importedSlot(const ResultEntry &entry, QStringList &notes)
{
    // The slot follows the unit's newest PASS only, and never pushes another unit out.
    const Placement &p = entry.placement;
    QSqlQuery newer(m_db);
    newer.prepare(QStringLiteral("SELECT COUNT(*) FROM results WHERE unit_uid = :uid AND result = "
                                 "'PASS' AND time > :time"));
    newer.bindValue(QStringLiteral(":uid"), entry.unit.uid);
    newer.bindValue(QStringLiteral(":time"), entry.time);
    if (!newer.exec() || !newer.next()) {
        failQuery(newer);
        return std::nullopt;
    }
    if (newer.value(0).toInt() > 0)
        return QString();
    QSqlQuery overlap(m_db);
    overlap.prepare(QStringLiteral(
        "SELECT unit_uid FROM slots WHERE universe = :universe AND unit_uid IS NOT NULL AND "
        "unit_uid <> :uid AND footprint > 0 AND address < :end AND :first < address + footprint"));
    overlap.bindValue(QStringLiteral(":universe"), p.universe);
    overlap.bindValue(QStringLiteral(":uid"), entry.unit.uid);
    overlap.bindValue(QStringLiteral(":end"), p.address + p.footprint);
    overlap.bindValue(QStringLiteral(":first"), p.address);
    if (!overlap.exec()) {
        failQuery(overlap);
        return std::nullopt;
    }
    if (p.footprint > 0 && overlap.next()) {
        notes.append(QStringLiteral("%1: universe %2, %3-%4 is held by %5; the result is "
                                    "recorded, the slot is not taken")
                         .arg(entry.unit.uid)
                         .arg(p.universe)
                         .arg(p.address)
                         .arg(p.address + p.footprint - 1)
                         .arg(overlap.value(0).toString()));
        return QString();
    }
    overlap.finish();
    return takeSlot(entry.unit.uid, p);
}

std::optional<ImportSummary> Record::importRows(const QVector<LogRow> &rows, const QString &path,
                                                const QString &station)
{
    ImportSummary summary;
    const bool ok = write([&] {
        summary = ImportSummary();
        for (const LogRow &row : rows) {
            ResultEntry entry;
            entry.unit = {row.uid.toUpper(), row.model, row.usbSerial};
            entry.placement = {row.universe, row.address, row.footprint, row.label};
            entry.station = station;
            entry.time = utcTime(row.time);
            entry.templateName = row.templatePath;
            entry.templateSha256 = row.templateSha256;
            entry.reason = row.failure;
            // A port that never told its UID left nothing to record against.
            if (row.uid.isEmpty())
                continue;
            if (!validUid(entry.unit.uid) || !catalogue::find(row.model)) {
                summary.notes.append(QStringLiteral("%1: a row of %2 '%3' is no supported unit")
                                         .arg(path, row.time, row.uid));
                continue;
            }
            if (!upsertUnit(entry.unit, entry.time))
                return false;
            QSqlQuery known(m_db);
            known.prepare(QStringLiteral("SELECT COUNT(*) FROM results WHERE unit_uid = :uid AND "
                                         "time = :time AND result = :result"));
            known.bindValue(QStringLiteral(":uid"), entry.unit.uid);
            known.bindValue(QStringLiteral(":time"), entry.time);
            known.bindValue(QStringLiteral(":result"),
                            row.pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
            if (!known.exec() || !known.next())
                return failQuery(known);
            if (known.value(0).toInt() > 0) {
                ++summary.skipped;
                continue;
            }
            ++summary.added;
            QString slot;
            if (row.pass && row.universe > 0 && row.address > 0) {
                const std::optional<QString> taken = importedSlot(entry, summary.notes);
                if (!taken)
                    return false;
                slot = *taken;
            }
            if (!appendResult(entry, slot, row.pass))
                return false;
        }
        return true;
    });
    if (!ok)
        return std::nullopt;
    return summary;
}

namespace {

// The station and time of the result that put the unit in the slot: its latest PASS there,
// found through the index on (slot, unit, result, id), so one universe reads only its own rows.
// The held slots, of one universe (bound as :universe) or of all, in universe and address
// order, with columns of the PASS result that put each unit in its slot (as r). PostgreSQL looks
// that result up laterally: a join on a subquery's id makes it hash every result of the record.
// SQLite has no lateral join; it looks the id up per slot and joins the row by its key.
QString heldSlotsSql(Engine engine, const QString &resultColumns, bool oneUniverse)
{
    const QString latest = QStringLiteral(
        "x.slot_uuid = s.uuid AND x.unit_uid = s.unit_uid AND x.result = 'PASS' ORDER BY x.id "
        "DESC LIMIT 1");
    const QString result =
        engine == Engine::Postgres
            ? QStringLiteral("LEFT JOIN LATERAL (SELECT x.station, x.time, x.template, "
                             "x.settings FROM results x WHERE %1) r ON true")
                  .arg(latest)
            : QStringLiteral("LEFT JOIN results r ON r.id = (SELECT x.id FROM results x WHERE %1)")
                  .arg(latest);
    return QStringLiteral("SELECT s.unit_uid, u.model, s.universe, s.address, s.footprint, "
                          "s.label, r.station, r.time, s.uuid%1 FROM slots s JOIN units u ON "
                          "u.uid = s.unit_uid %2 WHERE s.unit_uid IS NOT NULL%3 ORDER BY "
                          "s.universe, s.address, s.unit_uid")
        .arg(resultColumns, result,
             oneUniverse ? QStringLiteral(" AND s.universe = :universe") : QString());
}

HeldSlot heldSlot(const QSqlQuery &query)
{
    return {query.value(0).toString(), query.value(1).toString(), query.value(2).toInt(),
            query.value(3).toInt(),    query.value(4).toInt(),    query.value(5).toString(),
            query.value(6).toString(), query.value(7).toString(), query.value(8).toString()};
}

} // namespace

std::optional<QVector<HeldSlot>> Record::units(std::optional<int> universe)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(heldSlotsSql(m_location.engine, QString(), bool(universe)));
    if (universe)
        query.bindValue(QStringLiteral(":universe"), *universe);
    if (!query.exec()) {
        failQuery(query);
        return std::nullopt;
    }
    QVector<HeldSlot> held;
    while (query.next())
        held.append(heldSlot(query));
    return held;
}

std::optional<bool> Record::holdsSlot(const QString &uid)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT 1 FROM slots WHERE unit_uid = :uid"));
    query.bindValue(QStringLiteral(":uid"), uid.trimmed().toUpper());
    if (!query.exec()) {
        failQuery(query);
        return std::nullopt;
    }
    return query.next();
}

std::optional<QVector<HistoryEntry>> Record::history(const QString &uid)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT r.slot_uuid, r.station, r.time, r.template, r.template_sha256, r.universe, "
        "r.address, r.footprint, r.label, r.settings, r.result, r.reason, u.model FROM results r "
        "JOIN units u ON u.uid = r.unit_uid WHERE r.unit_uid = :uid ORDER BY r.time, r.id"));
    query.bindValue(QStringLiteral(":uid"), uid.toUpper());
    if (!query.exec()) {
        failQuery(query);
        return std::nullopt;
    }
    QVector<HistoryEntry> entries;
    int lastPass = -1;
    while (query.next()) {
        HistoryEntry entry;
        entry.slot = query.value(0).toString();
        entry.station = query.value(1).toString();
        entry.time = query.value(2).toString();
        entry.templateName = query.value(3).toString();
        entry.templateSha256 = query.value(4).toString();
        entry.placement = {query.value(5).toInt(), query.value(6).toInt(), query.value(7).toInt(),
                           query.value(8).toString()};
        entry.settings = QJsonDocument::fromJson(query.value(9).toString().toUtf8()).object();
        entry.pass = query.value(10).toString() == QLatin1String("PASS");
        entry.reason = query.value(11).toString();
        entry.model = query.value(12).toString();
        if (entry.pass && lastPass >= 0)
            entry.changes = changes(entries.at(lastPass), entry);
        if (entry.pass)
            lastPass = entries.size();
        entries.append(entry);
    }
    std::reverse(entries.begin(), entries.end());
    return entries;
}

std::optional<UniverseMap> Record::map(int universe)
{
    UniverseMap map;
    map.universe = universe;
    const std::optional<QVector<HeldSlot>> held = units(universe);
    const std::optional<qint64> now = held ? nowMs() : std::nullopt;
    if (!now)
        return std::nullopt;
    map.held = *held;
    map.nowMs = *now;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "SELECT id, first_address, last_address, station, lease_end FROM reservations WHERE "
        "universe = :universe AND outcome IS NULL AND lease_end > :now ORDER BY first_address"));
    query.bindValue(QStringLiteral(":universe"), universe);
    query.bindValue(QStringLiteral(":now"), *now);
    if (!query.exec()) {
        failQuery(query);
        return std::nullopt;
    }
    while (query.next()) {
        map.reservations.append({query.value(0).toLongLong(), universe, query.value(1).toInt(),
                                 query.value(2).toInt(), query.value(3).toString(),
                                 query.value(4).toLongLong()});
    }
    return map;
}

std::optional<QVector<PatchedSlot>> Record::patchedUnits(std::optional<int> universe)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(heldSlotsSql(m_location.engine, QStringLiteral(", r.template, r.settings"),
                               bool(universe)));
    if (universe)
        query.bindValue(QStringLiteral(":universe"), *universe);
    if (!query.exec()) {
        failQuery(query);
        return std::nullopt;
    }
    QVector<PatchedSlot> patched;
    while (query.next()) {
        const QJsonObject settings =
            QJsonDocument::fromJson(query.value(10).toString().toUtf8()).object();
        patched.append({heldSlot(query), query.value(9).toString(),
                        settings.value(QStringLiteral("dmx.personality")).toString()});
    }
    return patched;
}

} // namespace record
