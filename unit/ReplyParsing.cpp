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

QString fieldRangeFrom(const QString &text, const QString &anchor, int first, int last)
{
    const QStringList fields = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int at = 0; at < fields.size(); ++at) {
        if (fields.at(at).contains(anchor, Qt::CaseSensitive))
            return fieldRange(text, at + first, at + last);
    }
    return QString();
}

} // namespace reply
