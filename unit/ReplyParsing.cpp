#include "unit/ReplyParsing.h"

#include <QStringList>

namespace reply {

QString fieldRange(const QString &text, int first, int last)
{
    return text.section(QLatin1Char(' '), first, last, QString::SectionSkipEmpty);
}

QString quoted(const QString &text, const QString &delimiter)
{
    if (delimiter.isEmpty())
        return text;
    const int firstAt = text.indexOf(delimiter, 0, Qt::CaseSensitive);
    if (firstAt < 0)
        return text;
    const int start = firstAt + delimiter.size();
    const int lastAt = text.lastIndexOf(delimiter, -1, Qt::CaseSensitive);
    if (lastAt == firstAt)
        return text.mid(start);
    // Overlapping delimiters ("''" searched in "'''") leave nothing between them.
    if (lastAt < start)
        return QString();
    return text.mid(start, lastAt - start);
}

bool modelFromFirmwareInfo(const QString &text, QString &model)
{
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    flat.replace(QLatin1Char('\r'), QLatin1Char(' '));
    const QStringList words = flat.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int i = 0; i < words.size(); ++i) {
        if (!words.at(i).contains(QLatin1String("Model:")))
            continue;
        // A reply cut off right after the marker names no model; taking the marker as decided
        // would leave the caller with a stale or empty model string it believes in.
        if (i + 1 >= words.size())
            return false;
        model = words.at(i + 1);
        return true;
    }
    return false;
}

} // namespace reply
