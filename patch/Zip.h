#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <optional>

// The zip archives that carry fixture types and scenes, every member at the root. We read stored
// and deflated members, as the plotting tools that send us plans write either.
namespace zip {

struct Entry
{
    QString name; // the path inside the archive, '/' between folders
    QByteArray data;
};

enum class Method
{
    Stored,
    Deflated,
};

// The archive's bytes, members in the given order, each stamped with modified (local time, to
// the two seconds the format keeps).
QByteArray write(const QVector<Entry> &entries, const QDateTime &modified,
                 Method method = Method::Stored);

// The members of an archive, in the central directory's order; none, with why, when the bytes
// are no archive we can read (ZIP64, encrypted, another method, a CRC that does not match, a
// member that claims more than maxMemberSize bytes).
constexpr qint64 maxMemberSize = 256 * 1024 * 1024;
std::optional<QVector<Entry>> read(const QByteArray &archive, QString *why);

} // namespace zip
