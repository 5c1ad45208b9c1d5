#pragma once

#include "files/SettingsFile.h"
#include "link/SettingsIO.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

class Serial;

// Reading a unit's settings into a file's contents, comparing a unit with wanted values and
// writing the differences with verification. Everything goes through the Serial it is given and
// keeps no state of its own, so the window (on its own thread, through its own channel), the
// command line and the provisioning station (one unit per thread) use it alike.
namespace settingsapply {

// What a caller may do between commands: follow the progress and stop the work. Both are
// optional; both are called on the thread that does the work.
struct Control
{
    // Before each key's command(s): how many keys are done, of how many, and which one is next.
    std::function<void(int done, int total, const QString &key)> progress;
    // Asked before each key's command(s); true ends the work there.
    std::function<bool()> cancelled;
};

// ---- Reading a unit -------------------------------------------------------------------------

struct Snapshot
{
    // Every writable key that was read with a value, and the identity.
    settingsfile::Contents contents;
    // Keys whose answer held no value, with the words read: such a snapshot must not become a
    // file.
    struct Unread
    {
        QString key;
        QString words;
    };
    QVector<Unread> noValue;
    bool lost = false; // the unit stopped answering
    bool cancelled = false;

    bool complete() const { return noValue.isEmpty() && !lost && !cancelled; }
};

// Reads the identity and every writable key of the family. saved is the moment recorded.
Snapshot snapshot(Serial &serial, const QString &model, Family family, const QDateTime &saved,
                  const Control &control = {});

// ---- Comparing ------------------------------------------------------------------------------

struct Row
{
    const settings::Setting *setting = nullptr;
    settings::Value wanted;
    // What the unit holds; none when its answer held no value.
    std::optional<settings::Value> unit;
    // The unit's answer as read, for a row without a value.
    QString unitWords;

    bool differs() const;
};

struct Plan
{
    Family family = Family::Dimmer5;
    // One row per wanted key, in the order given (a file's: table order).
    QVector<Row> rows;
    // Read besides the wanted keys, never written: the other of dmx.address and dmx.personality
    // when only one is wanted, which the footprint rule needs.
    QVector<Row> footing;
    bool lost = false;
    // The key whose read found the unit gone; empty unless lost.
    QString lostAt;
    bool cancelled = false;

    QStringList differing() const;
    QStringList noValue() const;
    // Every row was read, with a value.
    bool complete() const;
};

// Reads each wanted key once. The keys must belong to the family.
Plan plan(Serial &serial, Family family, const QVector<settingsfile::Entry> &wanted,
          const Control &control = {});

// ---- Writing --------------------------------------------------------------------------------

enum class Status
{
    Unchanged,   // nothing written, and the unit holds the wanted value
    Written,     // written, and the unit holds the wanted value
    Failed,      // the unit holds something else (or its answer held no value)
    Skipped,     // differed, but was not among the keys chosen for writing
    NotWritten,  // the work ended (unit lost, cancelled) before its write
    NotVerified, // its write went out, then the unit was lost before it could be read back
};

QString statusName(Status status);

struct Result
{
    const settings::Setting *setting = nullptr;
    settings::Value wanted;
    std::optional<settings::Value> before;
    // The last read-back; none when it held no value or was not made.
    std::optional<settings::Value> after;
    QString afterWords;
    bool writeSent = false;
    Status status = Status::NotWritten;
};

struct Report
{
    // The plan's rows, in the plan's order.
    QVector<Result> rows;
    // The keys whose write went out, in the order sent.
    QStringList written;
    bool lost = false;
    // The key whose command found the unit gone; empty unless lost.
    QString lostAt;
    bool cancelled = false;
    // A wanted value that may not be written (settings::refusal); then nothing was sent.
    QString refused;

    // Every row's final read-back was made and shows the wanted value (or it was skipped).
    bool allTaken() const;
    QStringList withStatus(Status status) const;
};

// The order in which execute() writes the chosen keys that differ: by the table's write step
// (settings::WriteStep), outputs being switched off first and switched on last, then
// dmx.personality and dmx.address in whichever order keeps the start address plus the footprint
// minus one within 512 after each write. Within a step, table order.
QStringList writeOrder(const Plan &plan, const QStringList &chosen);
// The same order for keys of the plan written whether they differ or not (vantelo-cli set).
QStringList inWriteOrder(const Plan &plan, const QStringList &keys);

// Empty unless writing the chosen keys that differ would leave the unit listening past slot 512
// (dmx::slotRefusal): then one line that says where it would end.
QString slotRefusal(const Plan &plan, const QStringList &chosen);

// Writes each chosen key that differs exactly once, in writeOrder, each followed by its own
// read-back, without retrying; then reads every row of the plan back and gives each its status.
// A key that does not take does not stop the others. A unit that stops answering ends the work
// at once: the report says which keys were written and verified before that (Written) and which
// were not. Nothing is sent when a chosen value is refused, or when the values together would
// leave the unit past slot 512 (slotRefusal).
Report execute(Serial &serial, const Plan &plan, const QStringList &chosen,
               const Control &control = {});

} // namespace settingsapply
