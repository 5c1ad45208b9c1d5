#pragma once

#include "link/ModelCatalogue.h"
#include "link/SettingsFile.h"

#include <QHash>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>

// A provisioning station: many units set up from their family's template, each with its own
// start address and label, verified by reading every key back and recorded in a log. One unit
// works on a thread of its own, so a slow or silent unit never holds up the others; everything
// that decides (which units, which addresses, which labels, what is logged) stays on the thread
// that owns the Station, which the units reach only through queued signals. The command line
// (vantelo-cli provision) and the window's station both drive it.
namespace provision {

// A family's template: a settings file, and how the log names it.
struct Template
{
    QString path;
    QString sha256; // of the file's bytes, lower-case hexadecimal
    settingsfile::Contents contents;
};

// Reads and checks a settings file as a template; on refusal none, and one line in *why.
std::optional<Template> loadTemplate(const QString &path, QString *why);

// The label pattern's placeholders: {n} (the unit's number), {address}, {model}, {uid}.
struct LabelFields
{
    int n = 0;
    int address = 0;
    QString model;
    QString uid;
};

// Empty when the pattern may be used: only the four placeholders, and even its longest expansion
// ({n} as ten digits, {address} as three, the longest model number, twelve for {uid}) makes a
// label command that every family's unit would be sent. Otherwise why not.
QString labelPatternRefusal(const QString &pattern);
QString expandLabel(const QString &pattern, const LabelFields &fields);

// The log's columns, in order; its first line.
QStringList logColumns();

// Which ports the station looks at.
struct Selection
{
    // Named ports, in this order (the command line's --port).
    QStringList ports;
    // Every character device in this folder, probed without the USB filter (--port-dir).
    QString portDir;
    // Every attached supported unit of the port source.
    bool attached = false;
};

struct Setup
{
    // At most one per family; a unit of a family without one fails and is not written.
    QVector<Template> templates;
    // Addresses from the sequence, starting here (1..512); none: each unit keeps its template's.
    std::optional<int> startAddress;
    // Every unit's dmx.universe (1..63999); none: the template's.
    std::optional<int> universe;
    // Every unit's device.label; none: the template's.
    std::optional<QString> labelPattern;
    // Slots a model takes from the sequence (by model number), instead of its channels (twice
    // those at 16-bit) for a dimmer and none for a receiver card.
    QHash<QString, int> footprints;
    // The CSV log: read for the units already provisioned and the ranges already given, then
    // appended to.
    QString logPath;
    // Empty, or the folder that receives each passed unit's settings file, named by its UID.
    QString recordDir;
    // Units whose UID has a PASS row are provisioned again instead of skipped.
    bool again = false;
    // Identify and assign, write nothing (neither to a unit nor to the log).
    bool dryRun = false;
};

// Empty when the setup may be used (templates of distinct families, the label pattern, the
// ranges of the numbers); otherwise why not. start() checks it too.
QString setupRefusal(const Setup &setup);

enum class Result
{
    Pending,            // still at work
    Pass,               // written, and every key read back as meant
    Fail,               // see failure; logged unless nothing could be known of the unit
    AlreadyProvisioned, // its UID has a PASS row in the log; nothing written, no new row
    NotWritten,         // dry run, or the station stopped before its turn; no log row
    NotAUnit,           // the port did not identify as a supported model; no log row
    Busy,               // another program holds the port; nothing known of it, no log row
};

QString resultName(Result result); // "PASS", "FAIL", "already provisioned", ...

// What the station knows of one unit; filled in as it goes.
struct Unit
{
    int id = 0;           // 1, 2, ... in order of arrival, for the whole station's life
    QString port;         // the path it was opened through
    QString serialNumber; // the USB serial number, when the system lists the port
    QString model;        // catalogue number; empty until identified
    QString uid;          // RDM UID
    QString software;     // software versions
    QString templatePath; // the template used; empty when none
    QString templateSha256;
    int universe = 0;  // 0: not known
    int address = 0;   // start address; 0: not known
    int footprint = 0; // slots taken from the sequence from address on
    int n = 0;         // {n}; 0: not numbered
    QString label;     // its label, once labelSet
    // label holds the unit's label: the pattern's, the template's or its own
    bool labelSet = false;
    Result result = Result::Pending;
    QString failure;  // what failed, or why it is not a unit
    QString finished; // when it finished, as the log records it

    // The last slot of its range; address when it takes none.
    int lastAddress() const { return footprint > 0 ? address + footprint - 1 : address; }
};

class Station : public QObject
{
    Q_OBJECT

public:
    explicit Station(QObject *parent = nullptr);
    // Aborts what still runs and waits for every unit's thread; the units cancelled are logged
    // as after abort(), and their unitFinished() comes from within.
    ~Station() override;

    // Checks the setup, takes and reads the log (a file with another first line, a row that
    // cannot be understood or a log that another station holds is refused), makes sure the log
    // and the record folder can be written, and starts a unit for every port of the selection. With
    // watch it goes on starting one for each port that appears, until stop(); without, it finishes
    // once every unit has. False, with why, when it cannot start; then nothing was opened or
    // written.
    bool start(const Setup &setup, const Selection &selection, bool watch, QString *why);

    // No further units; those being written finish, those not yet written end as NotWritten.
    void stop();
    // As stop(), and the units being written are cancelled between two commands (FAIL
    // "interrupted", logged).
    void abort();

    bool isRunning() const;
    // After start(): what the log held that the user should know (its last row was cut short and
    // is closed now); empty when nothing.
    QString logNote() const;
    // Why the station stopped by itself (its log deleted or replaced under it); empty when it
    // finished or was stopped.
    QString stopReason() const;
    // Every unit of this start(), in order of arrival.
    QVector<Unit> units() const;

signals:
    // A unit arrived, was identified or was given its address and label (for a table of units).
    void unitChanged(const provision::Unit &unit);
    // Commands done of an estimate of the whole (the estimate shrinks once the unit is read).
    void unitProgress(int id, int done, int total);
    // Its result is final; a log row, if any, is written and flushed before this is emitted.
    void unitFinished(const provision::Unit &unit);
    // Stopped (or, without watch, every unit finished) and every unit's thread has ended. Comes
    // from within stop() or abort() when nothing was left running.
    void finished();

private:
    struct Private;
    std::unique_ptr<Private> d;
    friend struct Private;
};

} // namespace provision

Q_DECLARE_METATYPE(provision::Unit)
