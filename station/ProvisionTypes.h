#pragma once

#include "files/SettingsFile.h"
#include "patch/Plan.h"
#include "unit/ModelCatalogue.h"

#include <QHash>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

// What a provisioning station is given and what it knows of each unit: plain values that the
// station, its planner and its log pass between them.
namespace provision {

// A family's template: a settings file, and how the log names it.
struct Template
{
    QString path;
    QString sha256; // of the file's bytes, lower-case hexadecimal
    settingsfile::Contents contents;
};

// The label pattern's placeholders: {n} (the unit's number), {address}, {model}, {uid}.
struct LabelFields
{
    int n = 0;
    int address = 0;
    QString model;
    QString uid;
};

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
    // A designer's plan: each dimmer takes the first free slot of its model and is given the
    // slot's universe, address, label and personality (neither startAddress nor labelPattern
    // goes with it). A slot is taken when the record holds it or a live reservation covers it,
    // or, without a record, when a PASS row of the log sits on it.
    std::optional<patch::Plan> plan;
    // Slots a model takes from the sequence (by model number), instead of its channels (twice
    // those at 16-bit) for a dimmer and none for a receiver card.
    QHash<QString, int> footprints;
    // The CSV log: read for the units already provisioned and the ranges already given, then
    // appended to.
    QString logPath;
    // Empty, or the folder that receives each passed unit's settings file, named by its UID.
    QString recordDir;
    // Empty, or the rig record (a SQLite path or a PostgreSQL URL): ranges are reserved there,
    // and units holding a slot there count as provisioned.
    QString recordUrl;
    QString stationName;   // how the record names this station
    int leaseSeconds = 60; // a dead station's reservations are free after this
    // Units whose UID has a PASS row are provisioned again instead of skipped.
    bool again = false;
    // Identify and assign, write nothing (neither to a unit nor to the log).
    bool dryRun = false;
};

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
    QString slotUuid;  // the planned slot it was given; empty without a plan
    // label holds the unit's label: the pattern's, the template's or its own
    bool labelSet = false;
    Result result = Result::Pending;
    QString failure;  // what failed, or why it is not a unit
    QString finished; // when it finished, as the log records it

    // The last slot of its range; address when it takes none.
    int lastAddress() const { return footprint > 0 ? address + footprint - 1 : address; }
};

// What identification found. A port that is no unit has no model; a unit whose identity could
// not be read whole has a failure.
struct Identity
{
    QString model;
    Family family = Family::Dimmer5;
    QString uid;
    QString software;
    QHash<QString, settings::Value> current;
    QString failure;
    bool busy = false; // another program holds the port

    bool isUnit() const { return !model.isEmpty(); }
};

} // namespace provision

Q_DECLARE_METATYPE(provision::Unit)
Q_DECLARE_METATYPE(provision::Identity)
