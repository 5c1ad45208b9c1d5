#include "record/LogImport.h"

#include "station/Provisioning.h"

#include <QFile>

namespace record {

namespace {

// The log's own quoting: no field holds a line break, '"' doubles inside quotes.
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

bool readLogRows(const QString &path, QVector<LogRow> &rows, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QStringList lines =
        QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList columns = provision::logColumns();
    if (lines.isEmpty() || csvRecord(lines.first()) != columns) {
        *why = QStringLiteral("%1 is not a provisioning log: its first line is not \"%2\"")
                   .arg(path, columns.join(QLatin1Char(',')));
        return false;
    }
    const auto at = [&](const QStringList &row, const char *name) {
        return row.at(columns.indexOf(QLatin1String(name)));
    };
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList row = csvRecord(lines.at(i));
        const QString result = row.size() == columns.size() ? at(row, "result") : QString();
        if (result != QLatin1String("PASS") && result != QLatin1String("FAIL"))
            continue;
        LogRow out;
        out.time = at(row, "time");
        out.usbSerial = at(row, "usb_serial");
        out.model = at(row, "model");
        out.uid = at(row, "rdm_uid");
        out.templatePath = at(row, "template");
        out.templateSha256 = at(row, "template_sha256");
        out.universe = at(row, "universe").toInt();
        out.address = at(row, "address").toInt();
        out.footprint = at(row, "footprint").toInt();
        out.label = at(row, "label");
        out.pass = result == QLatin1String("PASS");
        out.failure = at(row, "failure");
        rows.append(out);
    }
    return true;
}

} // namespace record
