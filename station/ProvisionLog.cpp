#include "station/ProvisionLog.h"

#include "files/FileTarget.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace provision {

namespace {

constexpr int resultColumn = 12;
const QString cutShortFailure = QStringLiteral("row cut short");

// The writer keeps a row on one line (a line break in a field becomes a space), so that a row
// cut short spoils nothing but itself; the reader takes whatever RFC 4180 allows, as a
// spreadsheet that edited the log writes it.
QString csvField(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    static const QRegularExpression special(QStringLiteral("[\",]|^\\s|\\s$"));
    if (!special.match(text).hasMatch())
        return text;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QByteArray csvLine(const QStringList &fields)
{
    QStringList out;
    for (const QString &field : fields)
        out.append(csvField(field));
    return out.join(QLatin1Char(',')).toUtf8() + '\n';
}

struct CsvRecord
{
    QStringList fields;
    int line = 1;       // where it starts, from 1
    int start = 0;      // offset in the text
    bool ended = false; // by a line break outside quotes
    bool inQuotes = false;
};

QVector<CsvRecord> csvRecords(const QString &text)
{
    QVector<CsvRecord> records;
    CsvRecord record;
    QString field;
    bool quoted = false, atFieldStart = true;
    int line = 1;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                field += text.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
            line += c == QLatin1Char('\n');
            continue;
        }
        if (c == QLatin1Char('"') && atFieldStart) {
            quoted = true;
            atFieldStart = false;
            continue;
        }
        atFieldStart = c == QLatin1Char(',') || c == QLatin1Char('\n');
        if (c == QLatin1Char(',')) {
            record.fields.append(field);
            field.clear();
        } else if (c == QLatin1Char('\n')) {
            record.fields.append(field);
            record.ended = true;
            if (record.fields != QStringList{QString()}) // a blank line
                records.append(record);
            field.clear();
            record = CsvRecord();
            record.line = ++line;
            record.start = i + 1;
        } else if (c != QLatin1Char('\r')) {
            field += c;
        }
    }
    if (quoted || !atFieldStart || !record.fields.isEmpty()) {
        record.fields.append(field);
        record.inQuotes = quoted;
        records.append(record);
    }
    return records;
}

// What closes a row that a stop cut short, so that it reads as a whole row: its open quote
// closed, and FAIL "row cut short" in the columns it did not reach. A PASS or FAIL it had begun
// is finished: the station writes a row only once the unit's result is known. Null when the
// text is no beginning of a row the station writes.
QString closingOf(const CsvRecord &record)
{
    QString closing = record.inQuotes ? QStringLiteral("\"") : QString();
    const int column = record.fields.size() - 1;
    const QString begun = record.fields.last();
    const QString pass = QStringLiteral("PASS"), fail = QStringLiteral("FAIL");
    if (column < resultColumn)
        return closing + QString(resultColumn - column, QLatin1Char(',')) + fail +
               QLatin1Char(',') + cutShortFailure;
    if (column == resultColumn && !record.inQuotes && pass.startsWith(begun) && !begun.isEmpty())
        return closing + pass.mid(begun.size()) + QLatin1Char(',');
    if (column == resultColumn && !record.inQuotes && fail.startsWith(begun))
        return closing + fail.mid(begun.size()) + QLatin1Char(',') + cutShortFailure;
    if (column == resultColumn + 1)
        return closing;
    return QString();
}

// A field as a one-line reason quotes it: a field may hold line breaks and any length.
QString shown(const QString &field)
{
    const QString line = field.simplified();
    return line.size() > 40 ? line.left(40) + QStringLiteral("...") : line;
}

// The row's part in the history; false, with why, when it cannot be understood.
bool takeRow(const QStringList &row, LogHistory &history, QString *why)
{
    const QStringList columns = logColumns();
    if (row.size() != columns.size()) {
        *why = QStringLiteral("%1 fields, not %2").arg(row.size()).arg(columns.size());
        return false;
    }
    const QString result = row.at(resultColumn).trimmed().toUpper();
    if (result == QLatin1String("FAIL"))
        return true;
    if (result != QLatin1String("PASS")) {
        *why = QStringLiteral("the result '%1' is neither PASS nor FAIL")
                   .arg(shown(row.at(resultColumn)));
        return false;
    }
    const QString uid = row.at(columns.indexOf(QStringLiteral("rdm_uid"))).trimmed().toUpper();
    if (uid.isEmpty()) {
        *why = QStringLiteral("a PASS row without an rdm_uid");
        return false;
    }
    int numbers[3] = {};
    const QStringList names = {QStringLiteral("universe"), QStringLiteral("address"),
                               QStringLiteral("footprint")};
    for (int i = 0; i < 3; ++i) {
        const QString text = row.at(columns.indexOf(names.at(i))).trimmed();
        bool ok = text.isEmpty();
        if (!ok)
            numbers[i] = text.toInt(&ok);
        if (!ok || numbers[i] < 0) {
            *why = QStringLiteral("the %1 '%2' is not a number").arg(names.at(i), shown(text));
            return false;
        }
    }
    ++history.passRows;
    history.passedUids.insert(uid);
    const int universe = numbers[0], first = numbers[1], taken = numbers[2];
    if (first > 0 && taken > 0)
        history.reserved[universe].append({first, first + taken - 1, uid});
    return true;
}

// The process that holds the lock on the file, from the kernel's table of locks; 0 when it
// cannot be found (another system's file, a lock just released).
qint64 lockHolder(int fd)
{
    struct stat info = {};
    QFile locks(QStringLiteral("/proc/locks"));
    if (::fstat(fd, &info) != 0 || !locks.open(QIODevice::ReadOnly))
        return 0;
    const QString id = QStringLiteral("%1:%2:%3")
                           .arg(major(info.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(minor(info.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(info.st_ino);
    for (const QString &line : QString::fromLatin1(locks.readAll()).split(QLatin1Char('\n'))) {
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        // "1: FLOCK ADVISORY WRITE 1234 fe:00:5678 0 EOF"; "1: -> FLOCK ..." waits for it
        if (words.size() >= 6 && words.at(1) == QLatin1String("FLOCK") && words.at(5) == id)
            return words.at(4).toLongLong();
    }
    return 0;
}

} // namespace

QStringList logColumns()
{
    return {QStringLiteral("time"),       QStringLiteral("port"),
            QStringLiteral("usb_serial"), QStringLiteral("model"),
            QStringLiteral("rdm_uid"),    QStringLiteral("software"),
            QStringLiteral("template"),   QStringLiteral("template_sha256"),
            QStringLiteral("universe"),   QStringLiteral("address"),
            QStringLiteral("footprint"),  QStringLiteral("label"),
            QStringLiteral("result"),     QStringLiteral("failure")};
}

bool parseLog(const QString &path, const QByteArray &bytes, LogHistory &history, QString *why)
{
    // All of it: a power cut may leave a block of zero bytes where rows were meant to go.
    QString text = QString::fromUtf8(bytes.constData(), bytes.size());
    if (text.startsWith(QChar(0xFEFF))) // as some spreadsheets save CSV
        text.remove(0, 1);
    QVector<CsvRecord> records = csvRecords(text);
    if (records.isEmpty())
        return true;
    const QStringList columns = logColumns();
    if (records.first().fields != columns) {
        *why = QStringLiteral("%1 is not a provisioning log: its first line is not \"%2\"")
                   .arg(path, columns.join(QLatin1Char(',')));
        return false;
    }
    CsvRecord &last = records.last();
    if (!last.ended && records.size() > 1) {
        QString ignored;
        LogHistory scratch;
        if (last.inQuotes || !takeRow(last.fields, scratch, &ignored)) {
            const QString closing = closingOf(last);
            if (closing.isNull()) {
                *why = QStringLiteral("%1, line %2: a last row that no station wrote; correct or "
                                      "remove it")
                           .arg(path)
                           .arg(last.line);
                return false;
            }
            history.closing = closing.toUtf8();
            const int line = last.line;
            last = csvRecords(text.mid(last.start) + closing + QLatin1Char('\n')).first();
            last.line = line;
            history.cutShort = QStringLiteral("%1, line %2: the last row was cut short (a stop "
                                              "while it was written); it counts as %3")
                                   .arg(path)
                                   .arg(line)
                                   .arg(last.fields.value(resultColumn).trimmed().toUpper());
        }
        history.closing += '\n';
    } else if (!last.ended) {
        history.closing = "\n";
    }
    for (int i = 1; i < records.size(); ++i) {
        QString reason;
        if (!takeRow(records.at(i).fields, history, &reason)) {
            *why = QStringLiteral("%1, line %2: %3; correct or remove the row")
                       .arg(path)
                       .arg(records.at(i).line)
                       .arg(reason);
            return false;
        }
    }
    return true;
}

bool readLogRows(const QString &path, QVector<record::LogRow> &rows, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QVector<CsvRecord> records = csvRecords(QString::fromUtf8(file.readAll()));
    const QStringList columns = logColumns();
    if (records.isEmpty() || records.first().fields != columns) {
        *why = QStringLiteral("%1 is not a provisioning log: its first line is not \"%2\"")
                   .arg(path, columns.join(QLatin1Char(',')));
        return false;
    }
    for (int i = 1; i < records.size(); ++i) {
        const QStringList &row = records.at(i).fields;
        if (!records.at(i).ended || row.size() != columns.size())
            continue;
        const auto at = [&](const char *name) {
            return row.at(columns.indexOf(QLatin1String(name))).trimmed();
        };
        const QString result = at("result").toUpper();
        if (result != QLatin1String("PASS") && result != QLatin1String("FAIL"))
            continue;
        record::LogRow out;
        out.time = at("time");
        out.usbSerial = at("usb_serial");
        out.model = at("model");
        out.uid = at("rdm_uid").toUpper();
        out.templatePath = at("template");
        out.templateSha256 = at("template_sha256");
        out.universe = at("universe").toInt();
        out.address = at("address").toInt();
        out.footprint = at("footprint").toInt();
        out.label = row.at(columns.indexOf(QLatin1String("label")));
        out.pass = result == QLatin1String("PASS");
        out.failure = at("failure");
        rows.append(out);
    }
    return true;
}

bool readLog(const QString &path, LogHistory &history, QString *why)
{
    *why = refusalToReplace(path);
    if (!why->isEmpty())
        return false;
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return parseLog(path, file.readAll(), history, why);
}

bool LogFile::open(const QString &path, LogHistory &history, QString *why)
{
    *why = refusalToReplace(path);
    if (!why->isEmpty())
        return false;
    const auto refuse = [&](const QString &text) {
        *why = text;
        m_file.close();
        return false;
    };
    const auto cannotWrite = [&] {
        return refuse(QStringLiteral("cannot write %1: %2").arg(path, m_file.errorString()));
    };
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadWrite))
        return cannotWrite();
    if (::flock(m_file.handle(), LOCK_EX | LOCK_NB) != 0) {
        const qint64 holder = lockHolder(m_file.handle());
        return refuse(
            QStringLiteral("%1: the log is in use by another station%2")
                .arg(path, holder > 0 ? QStringLiteral(", process %1").arg(holder) : QString()));
    }
    if (!parseLog(path, m_file.readAll(), history, why)) {
        m_file.close();
        return false;
    }
    const QByteArray start = m_file.size() == 0 ? csvLine(logColumns()) : history.closing;
    if (!m_file.seek(m_file.size()) ||
        (!start.isEmpty() && (m_file.write(start) != start.size() || !m_file.flush())))
        return cannotWrite();
    struct stat info = {};
    if (::fstat(m_file.handle(), &info) != 0)
        return cannotWrite();
    m_device = info.st_dev;
    m_inode = info.st_ino;
    return true;
}

QString LogFile::goneReason() const
{
    struct stat info = {};
    if (::stat(QFile::encodeName(m_file.fileName()).constData(), &info) != 0)
        return QStringLiteral("the log %1 was deleted or moved").arg(m_file.fileName());
    if (info.st_dev != m_device || info.st_ino != m_inode)
        return QStringLiteral("the log %1 was replaced by another file").arg(m_file.fileName());
    return QString();
}

bool LogFile::append(const Unit &unit)
{
    m_error = goneReason();
    if (!m_error.isEmpty())
        return false;
    const QStringList fields = {
        unit.finished,
        unit.port,
        unit.serialNumber,
        unit.model,
        unit.uid,
        unit.software,
        unit.templatePath,
        unit.templateSha256,
        unit.universe > 0 ? QString::number(unit.universe) : QString(),
        unit.address > 0 ? QString::number(unit.address) : QString(),
        QString::number(unit.footprint),
        unit.labelSet ? unit.label : QString(),
        unit.result == Result::Pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"),
        unit.failure,
    };
    const QByteArray line = csvLine(fields);
    if (m_file.write(line) == line.size() && m_file.flush())
        return true;
    m_error = m_file.errorString();
    return false;
}

} // namespace provision
