#include "patch/Zip.h"

#include <QtEndian>

#include <zlib.h>

namespace zip {

namespace {

constexpr quint32 localSignature = 0x04034b50;
constexpr quint32 centralSignature = 0x02014b50;
constexpr quint32 endSignature = 0x06054b50;
constexpr int localHeaderSize = 30;
constexpr int centralHeaderSize = 46;
constexpr int endRecordSize = 22;
// Names are UTF-8: bit 11 says so, or an importer may read them as code page 437.
constexpr quint16 utf8Names = 0x0800;
constexpr quint16 stored = 0;
constexpr quint16 deflated = 8;
constexpr quint16 versionNeeded = 20;

void put16(QByteArray &out, quint16 value)
{
    const char bytes[2] = {char(value & 0xff), char(value >> 8)};
    out.append(bytes, 2);
}

void put32(QByteArray &out, quint32 value)
{
    put16(out, quint16(value & 0xffff));
    put16(out, quint16(value >> 16));
}

quint16 get16(const QByteArray &in, qint64 at)
{
    return qFromLittleEndian<quint16>(in.constData() + at);
}

quint32 get32(const QByteArray &in, qint64 at)
{
    return qFromLittleEndian<quint32>(in.constData() + at);
}

quint32 crcOf(const QByteArray &data)
{
    return quint32(::crc32(::crc32(0L, Z_NULL, 0),
                           reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
}

// MS-DOS time and date, as the headers keep them.
QPair<quint16, quint16> dosTime(const QDateTime &when)
{
    const QDate date = when.date().year() < 1980 ? QDate(1980, 1, 1) : when.date();
    const QTime time = when.date().year() < 1980 ? QTime(0, 0) : when.time();
    return {quint16((time.hour() << 11) | (time.minute() << 5) | (time.second() / 2)),
            quint16(((date.year() - 1980) << 9) | (date.month() << 5) | date.day())};
}

std::optional<QByteArray> inflateRaw(const QByteArray &in, qint64 size, QString *why)
{
    QByteArray out(int(size), Qt::Uninitialized);
    z_stream stream{};
    // Negative window bits: a raw deflate stream, as zip members hold, without zlib's header.
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        *why = QStringLiteral("cannot start decompressing");
        return std::nullopt;
    }
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    stream.avail_in = uInt(in.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = inflate(&stream, Z_FINISH);
    const bool whole = result == Z_STREAM_END && stream.total_out == uLong(size);
    inflateEnd(&stream);
    if (!whole) {
        *why = QStringLiteral("a compressed member does not decompress to its size");
        return std::nullopt;
    }
    return out;
}

QByteArray deflateRaw(const QByteArray &in)
{
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(in.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    stream.avail_in = uInt(in.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.truncate(int(stream.total_out));
    deflateEnd(&stream);
    return out;
}

} // namespace

QByteArray write(const QVector<Entry> &entries, const QDateTime &modified, Method method)
{
    const auto [time, date] = dosTime(modified);
    QByteArray out;
    QByteArray central;
    for (const Entry &entry : entries) {
        const QByteArray name = entry.name.toUtf8();
        const quint32 crc = crcOf(entry.data);
        const quint32 offset = quint32(out.size());
        const quint16 how = method == Method::Deflated ? deflated : stored;
        const QByteArray packed = method == Method::Deflated ? deflateRaw(entry.data) : entry.data;
        put32(out, localSignature);
        put16(out, versionNeeded);
        put16(out, utf8Names);
        put16(out, how);
        put16(out, time);
        put16(out, date);
        put32(out, crc);
        put32(out, quint32(packed.size()));
        put32(out, quint32(entry.data.size()));
        put16(out, quint16(name.size()));
        put16(out, 0);
        out.append(name);
        out.append(packed);

        put32(central, centralSignature);
        put16(central, versionNeeded); // made by: MS-DOS attributes, version 2.0
        put16(central, versionNeeded);
        put16(central, utf8Names);
        put16(central, how);
        put16(central, time);
        put16(central, date);
        put32(central, crc);
        put32(central, quint32(packed.size()));
        put32(central, quint32(entry.data.size()));
        put16(central, quint16(name.size()));
        put16(central, 0); // extra field
        put16(central, 0); // comment
        put16(central, 0); // disk
        put16(central, 0); // internal attributes
        put32(central, 0); // external attributes
        put32(central, offset);
        central.append(name);
    }
    const quint32 centralOffset = quint32(out.size());
    out.append(central);
    put32(out, endSignature);
    put16(out, 0);
    put16(out, 0);
    put16(out, quint16(entries.size()));
    put16(out, quint16(entries.size()));
    put32(out, quint32(central.size()));
    put32(out, centralOffset);
    put16(out, 0);
    return out;
}

std::optional<QVector<Entry>> read(const QByteArray &archive, QString *why)
{
    const qint64 size = archive.size();
    // The end record sits at the end, before a comment of up to 65535 bytes.
    qint64 end = -1;
    for (qint64 at = size - endRecordSize; at >= 0 && at >= size - endRecordSize - 0xffff; --at) {
        if (get32(archive, at) == endSignature) {
            end = at;
            break;
        }
    }
    if (end < 0) {
        *why = QStringLiteral("not a zip archive");
        return std::nullopt;
    }
    const int count = get16(archive, end + 10);
    qint64 at = get32(archive, end + 16);
    if (get16(archive, end + 10) == 0xffff || get32(archive, end + 16) == 0xffffffff) {
        *why = QStringLiteral("a ZIP64 archive, which is not read here");
        return std::nullopt;
    }
    QVector<Entry> entries;
    for (int i = 0; i < count; ++i) {
        if (at + centralHeaderSize > end || get32(archive, at) != centralSignature) {
            *why = QStringLiteral("the archive's directory is damaged");
            return std::nullopt;
        }
        const quint16 flags = get16(archive, at + 8);
        const quint16 method = get16(archive, at + 10);
        const quint32 crc = get32(archive, at + 16);
        const qint64 packed = get32(archive, at + 20);
        const qint64 unpacked = get32(archive, at + 24);
        const int nameSize = get16(archive, at + 28);
        const int skip = get16(archive, at + 30) + get16(archive, at + 32);
        const qint64 local = get32(archive, at + 42);
        if (at + centralHeaderSize + nameSize > end) {
            *why = QStringLiteral("the archive's directory is damaged");
            return std::nullopt;
        }
        const QByteArray rawName = archive.mid(at + centralHeaderSize, nameSize);
        Entry entry;
        entry.name =
            (flags & utf8Names) ? QString::fromUtf8(rawName) : QString::fromLatin1(rawName);
        at += centralHeaderSize + nameSize + skip;

        if (flags & 0x0001) {
            *why = QStringLiteral("%1 is encrypted").arg(entry.name);
            return std::nullopt;
        }
        if (method != stored && method != deflated) {
            *why = QStringLiteral("%1 is compressed with method %2, which is not read here")
                       .arg(entry.name)
                       .arg(method);
            return std::nullopt;
        }
        if (unpacked > maxMemberSize || (method == stored && packed != unpacked)) {
            *why = QStringLiteral("%1 claims an unlikely size").arg(entry.name);
            return std::nullopt;
        }
        if (local + localHeaderSize > size || get32(archive, local) != localSignature) {
            *why = QStringLiteral("%1's header is missing").arg(entry.name);
            return std::nullopt;
        }
        // Sizes come from the directory: a member written with a data descriptor has zeros in its
        // local header.
        const qint64 data =
            local + localHeaderSize + get16(archive, local + 26) + get16(archive, local + 28);
        if (data + packed > size) {
            *why = QStringLiteral("%1 is cut short").arg(entry.name);
            return std::nullopt;
        }
        if (method == stored) {
            entry.data = archive.mid(data, packed);
        } else {
            const std::optional<QByteArray> inflated =
                inflateRaw(archive.mid(data, packed), unpacked, why);
            if (!inflated)
                return std::nullopt;
            entry.data = *inflated;
        }
        if (crcOf(entry.data) != crc) {
            *why = QStringLiteral("%1 does not match its checksum").arg(entry.name);
            return std::nullopt;
        }
        entries.append(entry);
    }
    return entries;
}

} // namespace zip
