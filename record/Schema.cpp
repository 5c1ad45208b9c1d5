#include "record/Schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace record::schema {

namespace {

// Statements for both engines; {ID} is the engine's self-numbering key.
const char *const commonStep1[] = {
    "CREATE TABLE record_schema (version INTEGER NOT NULL)",
    "INSERT INTO record_schema (version) VALUES (0)",
    "CREATE TABLE units ("
    " uid TEXT PRIMARY KEY CHECK (length(uid) = 12),"
    " model TEXT NOT NULL,"
    " family TEXT NOT NULL,"
    " usb_serial TEXT NOT NULL DEFAULT '',"
    " first_seen TEXT NOT NULL,"
    " last_seen TEXT NOT NULL)",
    // A slot is a place in the rig; the unit holding it may change (a replacement) or leave.
    "CREATE TABLE slots ("
    " uuid TEXT PRIMARY KEY,"
    " universe INTEGER NOT NULL CHECK (universe BETWEEN 1 AND 63999),"
    " address INTEGER NOT NULL CHECK (address BETWEEN 1 AND 512),"
    " footprint INTEGER NOT NULL CHECK (footprint >= 0 AND address + footprint <= 513),"
    " label TEXT NOT NULL DEFAULT '',"
    " unit_uid TEXT UNIQUE REFERENCES units (uid))",
    "CREATE INDEX slots_by_place ON slots (universe, address)",
    "CREATE TABLE results ("
    " id {ID},"
    " unit_uid TEXT NOT NULL REFERENCES units (uid),"
    " slot_uuid TEXT REFERENCES slots (uuid),"
    " station TEXT NOT NULL,"
    " time TEXT NOT NULL,"
    " template TEXT NOT NULL DEFAULT '',"
    " template_sha256 TEXT NOT NULL DEFAULT '',"
    " universe INTEGER,"
    " address INTEGER,"
    " footprint INTEGER,"
    " label TEXT,"
    " settings TEXT NOT NULL DEFAULT '{}',"
    " result TEXT NOT NULL CHECK (result IN ('PASS', 'FAIL')),"
    " reason TEXT NOT NULL DEFAULT '',"
    // A log imported twice, or a row the station wrote before the log was imported, is one fact.
    " UNIQUE (unit_uid, time, result))",
    "CREATE INDEX results_by_slot ON results (slot_uuid, unit_uid, result, id)",
    // A reservation is never deleted (stations may not): it ends with its outcome, and only
    // the ones without an outcome hold a range.
    "CREATE TABLE reservations ("
    " id {ID},"
    " universe INTEGER NOT NULL CHECK (universe BETWEEN 1 AND 63999),"
    " first_address INTEGER NOT NULL CHECK (first_address BETWEEN 1 AND 512),"
    " last_address INTEGER NOT NULL CHECK (last_address BETWEEN first_address AND 512),"
    " station TEXT NOT NULL,"
    " lease_end BIGINT NOT NULL,"
    " outcome TEXT CHECK (outcome IN ('PASS', 'FAIL', 'released', 'expired')))",
    "CREATE INDEX reservations_live ON reservations (universe, first_address)"
    " WHERE outcome IS NULL",
};

const char *const postgresStep1[] = {
    "CREATE EXTENSION IF NOT EXISTS btree_gist",
    "ALTER TABLE slots ADD CONSTRAINT held_slots_never_overlap EXCLUDE USING gist"
    " (universe WITH =, int4range(address, address + footprint) WITH &&)"
    " WHERE (unit_uid IS NOT NULL)",
    "ALTER TABLE reservations ADD CONSTRAINT reservations_never_overlap EXCLUDE USING gist"
    " (universe WITH =, int4range(first_address, last_address, '[]') WITH &&)"
    " WHERE (outcome IS NULL)",
    "CREATE FUNCTION results_are_appended_only() RETURNS trigger LANGUAGE plpgsql AS"
    " $$ BEGIN RAISE EXCEPTION 'results are only ever appended'; END $$",
    "CREATE TRIGGER results_are_appended_only BEFORE UPDATE OR DELETE ON results"
    " FOR EACH ROW EXECUTE FUNCTION results_are_appended_only()",
};

// SQLite has no exclusion constraint; triggers make the file refuse an overlap all the same.
const char *const sqliteStep1[] = {
    "CREATE TRIGGER held_slots_never_overlap_insert BEFORE INSERT ON slots"
    " WHEN NEW.unit_uid IS NOT NULL AND NEW.footprint > 0 BEGIN"
    " SELECT RAISE(ABORT, 'held slots never overlap') WHERE EXISTS (SELECT 1 FROM slots s"
    " WHERE s.unit_uid IS NOT NULL AND s.footprint > 0 AND s.universe = NEW.universe"
    " AND s.uuid <> NEW.uuid"
    " AND s.address < NEW.address + NEW.footprint AND NEW.address < s.address + s.footprint);"
    " END",
    "CREATE TRIGGER held_slots_never_overlap_update BEFORE UPDATE ON slots"
    " WHEN NEW.unit_uid IS NOT NULL AND NEW.footprint > 0 BEGIN"
    " SELECT RAISE(ABORT, 'held slots never overlap') WHERE EXISTS (SELECT 1 FROM slots s"
    " WHERE s.unit_uid IS NOT NULL AND s.footprint > 0 AND s.universe = NEW.universe"
    " AND s.uuid <> NEW.uuid"
    " AND s.address < NEW.address + NEW.footprint AND NEW.address < s.address + s.footprint);"
    " END",
    "CREATE TRIGGER reservations_never_overlap BEFORE INSERT ON reservations"
    " WHEN NEW.outcome IS NULL BEGIN"
    " SELECT RAISE(ABORT, 'reservations never overlap') WHERE EXISTS (SELECT 1 FROM"
    " reservations r WHERE r.outcome IS NULL AND r.universe = NEW.universe"
    " AND r.first_address <= NEW.last_address AND NEW.first_address <= r.last_address);"
    " END",
    "CREATE TRIGGER results_are_appended_only_update BEFORE UPDATE ON results BEGIN"
    " SELECT RAISE(ABORT, 'results are only ever appended'); END",
    "CREATE TRIGGER results_are_appended_only_delete BEFORE DELETE ON results BEGIN"
    " SELECT RAISE(ABORT, 'results are only ever appended'); END",
};

template <size_t N> QStringList statements(const char *const (&list)[N])
{
    QStringList out;
    for (const char *text : list)
        out.append(QString::fromLatin1(text));
    return out;
}

// The statements that take the record from version step - 1 to step.
QStringList stepStatements(int step, Engine engine)
{
    QStringList out;
    if (step == 1) {
        out = statements(commonStep1);
        out.replaceInStrings(QStringLiteral("{ID}"), engine == Engine::Postgres
                                                         ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                                         : QStringLiteral("INTEGER PRIMARY KEY "
                                                                          "AUTOINCREMENT"));
        out += engine == Engine::Postgres ? statements(postgresStep1) : statements(sqliteStep1);
    }
    return out;
}

bool exec(QSqlDatabase &db, const QString &sql, QString *why)
{
    QSqlQuery query(db);
    if (query.exec(sql))
        return true;
    *why = query.lastError().text();
    return false;
}

} // namespace

int installed(QSqlDatabase &db, QString *why)
{
    if (!db.tables().contains(QStringLiteral("record_schema")))
        return 0;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT version FROM record_schema")) || !query.next()) {
        *why = query.lastError().isValid() ? query.lastError().text()
                                           : QStringLiteral("the record's version row is missing");
        return -1;
    }
    return query.value(0).toInt();
}

bool upgrade(QSqlDatabase &db, Engine engine, QString *why)
{
    const bool postgres = engine == Engine::Postgres;
    if (!exec(db, postgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"), why))
        return false;
    const auto rollBack = [&] {
        QString ignored;
        exec(db, QStringLiteral("ROLLBACK"), &ignored);
        return false;
    };
    // Two owners upgrading at once: the second waits, then finds the work done.
    if (postgres && !exec(db, QStringLiteral("SELECT pg_advisory_xact_lock(7146718)"), why))
        return rollBack();
    const int from = installed(db, why);
    if (from < 0)
        return rollBack();
    if (from > version) {
        *why = QStringLiteral("the record's schema version %1 is newer than this program's %2")
                   .arg(from)
                   .arg(version);
        return rollBack();
    }
    for (int step = from + 1; step <= version; ++step) {
        for (const QString &sql : stepStatements(step, engine)) {
            if (!exec(db, sql, why))
                return rollBack();
        }
        QSqlQuery bump(db);
        bump.prepare(QStringLiteral("UPDATE record_schema SET version = ?"));
        bump.addBindValue(step);
        if (!bump.exec()) {
            *why = bump.lastError().text();
            return rollBack();
        }
    }
    return exec(db, QStringLiteral("COMMIT"), why) || rollBack();
}

} // namespace record::schema
