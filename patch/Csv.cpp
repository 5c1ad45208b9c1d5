#include "patch/Csv.h"

namespace csv {

QByteArray line(const QStringList &fields)
{
    QStringList out;
    for (QString field : fields) {
        if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
            field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'))) {
            field.replace(QLatin1Char('"'), QLatin1String("\"\""));
            field = QLatin1Char('"') + field + QLatin1Char('"');
        }
        out.append(field);
    }
    return out.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

std::optional<QVector<QStringList>> parse(const QByteArray &bytes, QString *why)
{
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    QVector<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool any = false; // the record has begun
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                field += text.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c == QLatin1Char(',')) {
            record.append(field);
            field.clear();
            any = true;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() &&
                text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            if (any || !field.isEmpty()) {
                record.append(field);
                records.append(record);
            }
            record.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (quoted) {
        *why = QStringLiteral("a quoted field is not closed");
        return std::nullopt;
    }
    if (any || !field.isEmpty()) {
        record.append(field);
        records.append(record);
    }
    return records;
}

} // namespace csv
