#pragma once

#include "unit/FailTime.h"
#include "unit/ModelCatalogue.h"

#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <optional>

// Every device setting as data: its key, how to read it from a reply, what kind of value it is
// and how to write it. The pages, the command line, settings files and the provisioning station
// all go through this table; no other product file holds a command text.
namespace settings {

enum class Kind
{
    Text,     // a label, a word, free text
    Integer,  // a whole number, may be negative
    Flag,     // true / false
    Choice,   // one entry of a table; the device stores the entry's position
    FailTime, // tenths of a second, 65535 = infinite
};

// Where an apply writes a setting among the others: settings whose change makes a unit act
// differently on its link or its outputs come last, once everything they act on is in place;
// those that stop it acting come first. In the order of the steps, except Outputs: first when
// switched off, last when switched on (settingsapply::writeOrder).
enum class WriteStep
{
    None, // read-only
    Outputs,
    Labels,
    FailMode,
    Channels,
    Bump,
    Universe,
    Footprint, // dmx.personality and dmx.address, in whichever order keeps the unit within 512
    Wireless,
    InputMode,
    RdmTraffic,
};

// One get command and the words of its reply that hold (part of) the value.
struct Query
{
    QString command;
    int first = 0;
    int last = 0;
    // When set, first and last count from the first word that contains it (that word is 0), not
    // from the echoed command: for a reply whose words before the value vary.
    QString anchor;
};

// The words of a query's reply (line breaks as blanks) that hold its part of the value.
QString wordsOf(const Query &query, const QString &reply);
// How a unit names its model (identity.model): asked before the family is known, and the same
// for every family.
const Query &modelQuery();

struct Setting
{
    QString key;
    Family family;
    Kind kind;
    WriteStep writeStep = WriteStep::None;
    // One query, or two whose words are joined by ", " (a firmware version in two parts).
    QVector<Query> queries;
    // The value is the text between the first and the last "'" of the words read.
    bool quoted = false;
    // The set command with "%v" where the value goes; empty for a read-only setting.
    QString setFormat;
    // Choice: the entries' untranslated names, position = the device's number.
    QStringList entries;
    // Flag, and a Choice of two entries: the substring whose presence in the reply means
    // true / the second entry.
    QString marker;
    // Text: most characters the device keeps (0: only the command buffer limits it).
    int maxLength = 0;
    // One line for people (documentation, help).
    QString meaning;
    // Where the page translates the entries from.
    const char *translationContext = nullptr;

    bool isReadOnly() const { return setFormat.isEmpty(); }
};

// The family's settings in table order (channel keys per channel, a..e or a..b).
const QVector<Setting> &forFamily(Family family);
// The setting of that key in the family, or null.
const Setting *find(Family family, const QString &key);
// Every key of every family, each once, in table order (for help texts and documentation).
QStringList allKeys();

// The command that restores the factory defaults.
QString factoryResetCommand();

// ---- Values ------------------------------------------------------------------------------
// A value in the key's terms: Text -> QString, Integer -> qlonglong, Flag -> bool,
// Choice -> int (entry position), FailTime -> int (tenths, 65535 infinite).
using Value = QVariant;

using failmode::infiniteTenths;

// The form a person reads and types: "Linear", "true", "infinite", "905", the label itself.
QString toText(const Setting &setting, const Value &value);
QJsonValue toJson(const Setting &setting, const Value &value);
// Parse a person's or a file's value; on failure no value and the reason in *why.
std::optional<Value> fromText(const Setting &setting, const QString &text, QString *why);
std::optional<Value> fromJson(const Setting &setting, const QJsonValue &json, QString *why);
// Empty when the value may be written: right kind, inside its table, and a set command that
// the user-text rule accepts. Otherwise why not.
QString refusal(const Setting &setting, const Value &value);
// Both sides in the key's kind: flags as flags, entries by position, numbers numerically, text
// byte for byte.
bool sameValue(const Setting &setting, const Value &a, const Value &b);

// The value a reply's words hold, or none: empty words, a number that is not one, a position
// outside the table.
std::optional<Value> valueFromWords(const Setting &setting, const QString &words);

// The set command for an argument exactly as given (the user-text rule is not applied here).
QString setCommand(const Setting &setting, const QString &argument);
// The argument a typed value is written with: "1"/"0", an entry position, tenths, the text.
QString argument(const Setting &setting, const Value &value);

} // namespace settings
