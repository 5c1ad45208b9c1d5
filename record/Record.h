#pragma once

#include "record/LogRow.h"

#include "record/RecordUrl.h"

#include <QJsonObject>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

class QSqlQuery;

// The rig record: every unit, the place in the rig it holds, every provisioning result and the
// ranges stations have reserved. A Record is one connection. Qt's SQL connections belong to the
// thread that opened them, so every thread (each unit's thread of a station too) opens a Record
// of its own by URL, uses it there and destroys it there.
namespace record {

// Why the last call failed, for the caller that must decide what to do next: a station stops
// writing units when the record is unreachable, but only fails the one unit when a range is full.
enum class Problem
{
    None,
    Unreachable, // no server, no file, a dropped connection
    Login,       // the server refused the login: wrong password, unknown role
    NoRights,    // the role or the file may not be written
    Schema,      // no tables yet, an older schema (run init) or a newer one
    NoRoom,      // no free range of that size in the universe
    LeaseLost,   // the reservation ran out and is gone
    Conflict,    // another writer kept winning; retries ran out
    BadInput,    // a row the record's rules refuse, a log that cannot be read
};

struct UnitIdentity
{
    QString uid; // RDM UID, twelve hexadecimal digits
    QString model;
    QString usbSerial;
};

// A range held for a station while it writes a unit.
struct Reservation
{
    qint64 id = 0;
    int universe = 0;
    int first = 0;
    int last = 0;
    QString station;
    qint64 leaseEndMs = 0; // milliseconds since the epoch, by the record's clock
};

// Where a unit sits in the rig. A universe or address of 0: not known, no slot.
struct Placement
{
    int universe = 0;
    int address = 0;
    int footprint = 0;
    QString label;
};

// One provisioning result, as the station knows it when the unit has finished.
struct ResultEntry
{
    UnitIdentity unit;
    Placement placement;
    QString station;
    QString time; // ISO 8601; kept in UTC
    QString templateName;
    QString templateSha256;
    QJsonObject settings; // every setting as read back, by key
    QString reason;       // why it failed; empty for a PASS
    // The slot's UUID when a plan names it, so that an export gives the designer's tool back the
    // fixtures it planned; empty: the place's own, or a new one.
    QString slotUuid;
};

// A slot and the unit holding it, with the result that put it there.
struct HeldSlot
{
    QString uid;
    QString model;
    int universe = 0;
    int address = 0;
    int footprint = 0;
    QString label;
    QString station;
    QString time;
    QString slot; // the slot's UUID
};

// A held slot with what a patch needs from the result that put the unit there.
struct PatchedSlot
{
    HeldSlot held;
    QString templateName;
    QString personality; // that result's dmx.personality ("8-bit", "16-bit"); empty: none read
};

struct HistoryEntry
{
    QString model; // the unit's
    QString slot;
    QString station;
    QString time;
    QString templateName;
    QString templateSha256;
    Placement placement;
    QJsonObject settings;
    bool pass = false;
    QString reason;
    // For a PASS after an earlier PASS: "key: before -> after" for every value that changed.
    QStringList changes;
};

struct UniverseMap
{
    int universe = 0;
    QVector<HeldSlot> held;            // in address order
    QVector<Reservation> reservations; // live ones only, in address order
    qint64 nowMs = 0;
};

struct ImportSummary
{
    int added = 0;     // result rows new to the record
    int skipped = 0;   // rows the record held already
    QStringList notes; // rows recorded without taking their slot, and why
};

// The station name when none is given.
QString defaultStation();

class Record
{
public:
    Record();
    ~Record();
    Record(const Record &) = delete;
    Record &operator=(const Record &) = delete;

    // Connects on the calling thread. open() refuses a record without tables or of another
    // schema version; init() creates the SQLite file if need be and creates or upgrades the
    // tables, and is the only call that changes them.
    bool open(const QString &url);
    bool init(const QString &url);
    bool isOpen() const;

    // After a failed call: what kind of failure, and one line naming it; neither ever holds the
    // password.
    Problem problem() const { return m_problem; }
    QString errorString() const { return m_error; }
    QString redactedUrl() const { return m_location.redacted; }

    // The first free range of footprint slots at or after address from in the universe, held
    // against every held slot and every live reservation for leaseSeconds. exactly: only the
    // range starting at from (a planned slot), NoRoom when any of it is taken.
    std::optional<Reservation> reserve(int universe, int from, int footprint,
                                       const QString &station, int leaseSeconds,
                                       bool exactly = false);
    // Keeps the range for leaseSeconds more; LeaseLost when it ran out and was taken.
    bool renew(Reservation &reservation, int leaseSeconds);
    bool release(const Reservation &reservation);
    // The unit now holds the reservation's range (or, without one, the placement as it is) as
    // its slot, and the result is appended. Returns the slot's UUID (empty when the placement
    // names none).
    std::optional<QString> pass(const ResultEntry &entry, const Reservation *reservation);
    // The unit of entry takes the slot that replaced holds (or, when it holds none, the
    // entry's placement); replaced leaves it, its history stays. Appends entry as a PASS and
    // returns the slot's UUID.
    std::optional<QString> replace(const QString &replaced, const ResultEntry &entry);
    // Releases the reservation and appends the failed result.
    bool fail(const ResultEntry &entry, const Reservation *reservation);

    // A station's CSV log rows into the record (source names the log in notes); rows already
    // there are skipped.
    std::optional<ImportSummary> importRows(const QVector<LogRow> &rows, const QString &source,
                                            const QString &station);

    // The held slots, of one universe or of all, in universe and address order.
    std::optional<QVector<HeldSlot>> units(std::optional<int> universe);
    // Whether the unit (by RDM UID) holds a slot.
    std::optional<bool> holdsSlot(const QString &uid);
    // Every result of the unit, newest first.
    std::optional<QVector<HistoryEntry>> history(const QString &uid);
    std::optional<UniverseMap> map(int universe);
    // The held slots as units() gives them, with template and personality, for an export.
    std::optional<QVector<PatchedSlot>> patchedUnits(std::optional<int> universe);

    // Retries of a write that lost to another writer, at most.
    static constexpr int maxAttempts = 10;

private:
    bool connect(const QString &url, bool create);
    void disconnect();
    bool setFailure(Problem problem, const QString &text);
    bool failQuery(const QSqlQuery &query);
    // Runs body in a write transaction, again while it loses to another writer. universe: the
    // one whose ranges it changes, if any.
    bool write(const std::function<bool()> &body, int universe = 0);
    std::optional<qint64> nowMs();
    bool endReservation(const Reservation &reservation, const QString &outcome, bool mustHold);
    bool upsertUnit(const UnitIdentity &unit, const QString &time);
    std::optional<QString> takeSlot(const QString &uid, const Placement &placement,
                                    const QString &planned = QString());
    std::optional<QString> importedSlot(const ResultEntry &entry, QStringList &notes);
    bool appendResult(const ResultEntry &entry, const QString &slot, bool pass);

    Location m_location;
    QString m_name;
    QSqlDatabase m_db;
    Problem m_problem = Problem::None;
    QString m_error;
    QString m_lastNativeCode;
    bool m_inTransaction = false;
};

} // namespace record
