#pragma once

#include "unit/DeviceSettings.h"
#include "unit/ModelCatalogue.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <memory>
#include <optional>

class QSaveFile;

// A unit's settings as a file a person can read, compare with diff(1) and keep under version
// control: JSON with its members in a fixed order and one setting per line in table order. A
// file is checked whole before anything uses it, so that a bad value is found before the first
// command is sent, never halfway through an apply.
namespace settingsfile {

// The "format" member that marks a settings file.
QString formatName();
// The version this program writes. Older versions are read; a newer one is refused, since it
// may mean something this program would get wrong.
constexpr int formatVersion = 1;
// Larger than any settings file; a bigger file is something else.
constexpr qint64 maxFileBytes = 1024 * 1024;

struct Entry
{
    const settings::Setting *setting = nullptr;
    settings::Value value;
};

// Where the settings came from. Never written to a unit or compared with one.
struct Identity
{
    QString uid;
    QString software;
    QString boot;
    QString saved; // ISO 8601 with the offset from UTC
};

struct Contents
{
    QString model;
    Family family = Family::Dimmer5;
    Identity identity;
    // Writable keys of the family only, each at most once, in table order. Keys a file lacks
    // are neither written nor checked.
    QVector<Entry> settings;

    const Entry *find(const QString &key) const;
};

// Checks the whole text. On refusal: no contents, and one line in *why that names the key or
// the reason.
std::optional<Contents> parse(const QByteArray &text, QString *why);
// The file's text; parse(serialize(c)) gives c back.
QByteArray serialize(const Contents &contents);

std::optional<Contents> load(const QString &path, QString *why);

// An atomic write in two steps, so that a caller can find out that the file cannot be written
// before it reads a unit, and drop the write when the reading fails: until commit() the
// previous file stays as it was, and an interrupted write leaves no half file behind.
class Writer
{
public:
    Writer();
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Refuses a path that stands for something other than a regular file (refusalToReplace).
    bool open(const QString &path, QString *why);
    bool commit(const Contents &contents, QString *why);

private:
    std::unique_ptr<QSaveFile> m_file;
};

bool save(const QString &path, const Contents &contents, QString *why);

// "2026-12-06T11:40:00+01:00": local time with its offset, as the file's "saved" member holds it.
QString timestamp(const QDateTime &moment);

// Empty when the file may be compared with or applied to a unit of that family; otherwise why
// not. A file applies to every model of its family.
QString familyRefusal(const Contents &contents, Family unitFamily);

} // namespace settingsfile
