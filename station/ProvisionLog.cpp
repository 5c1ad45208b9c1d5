#include "station/ProvisionLog.h"

#include <QRegularExpression>

namespace provision {

namespace {

// One row is one line: a row that a power cut left unfinished, an open quote and all, spoils
// nothing but itself. So no field holds a line break; the rest of CSV's quoting applies.
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

QStringList csvRecord(const QString &line)
{
    QStringList record;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('"') && quoted && i + 1 < line.size() &&
            line.at(i + 1) == QLatin1Char('"')) {
            field += line.at(++i);
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c == QLatin1Char(',') && !quoted) {
            record.append(field);
            field.clear();
        } else if (c != QLatin1Char('\r')) {
            field += c;
        }
    }
    record.append(field);
    return record;
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

bool readLog(const QString &path, LogHistory &history, QString *why)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QStringList lines =
        QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return true;
    const QStringList columns = logColumns();
    if (csvRecord(lines.first()) != columns) {
        *why = QStringLiteral("%1 is not a provisioning log: its first line is not \"%2\"")
                   .arg(path, columns.join(QLatin1Char(',')));
        return false;
    }
    const int result = columns.indexOf(QStringLiteral("result"));
    const int uid = columns.indexOf(QStringLiteral("rdm_uid"));
    const int universe = columns.indexOf(QStringLiteral("universe"));
    const int address = columns.indexOf(QStringLiteral("address"));
    const int footprint = columns.indexOf(QStringLiteral("footprint"));
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList row = csvRecord(lines.at(i));
        if (row.size() != columns.size() || row.at(result) != QLatin1String("PASS"))
            continue;
        ++history.passRows;
        history.passedUids.insert(row.at(uid));
        const int first = row.at(address).toInt(), taken = row.at(footprint).toInt();
        if (first > 0 && taken > 0)
            history.reserved[row.at(universe).toInt()].append({first, first + taken - 1});
    }
    return true;
}

bool LogFile::open(const QString &path, QString *why)
{
    const auto refuse = [&] {
        *why = QStringLiteral("cannot write %1: %2").arg(path, m_file.errorString());
        m_file.close();
        return false;
    };
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Append))
        return refuse();
    QByteArray start;
    if (m_file.size() == 0) {
        start = csvLine(logColumns());
    } else {
        // A row cut short (a power cut mid-write) must not swallow the next one.
        char last = 0;
        if (m_file.seek(m_file.size() - 1) && m_file.getChar(&last) && last != '\n')
            start = "\n";
    }
    if (!start.isEmpty() && (m_file.write(start) != start.size() || !m_file.flush()))
        return refuse();
    return true;
}

bool LogFile::append(const Unit &unit)
{
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
    return m_file.write(line) == line.size() && m_file.flush();
}

} // namespace provision
