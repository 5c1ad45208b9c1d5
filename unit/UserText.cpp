#include "unit/UserText.h"

namespace command {

bool fits(const QString &line)
{
    return line.toUtf8().size() < bufferSize;
}

bool isSendable(const QString &line)
{
    return refusal(line).isEmpty();
}

QString refusal(const QString &line)
{
    if (!fits(line))
        return QStringLiteral("too long for the command buffer");
    if (!line.endsWith(QLatin1Char('\n')))
        return QStringLiteral("does not end its line");
    // C0, DEL and C1: none of them belongs in a label or a number, and each of C0 may end or
    // alter the line in the device's interpreter.
    for (int i = 0; i < line.size() - 1; ++i) {
        const QChar c = line.at(i);
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("holds a line break or another control character");
        const bool paired = c.isHighSurrogate()
                                ? i + 1 < line.size() - 1 && line.at(i + 1).isLowSurrogate()
                                : !c.isLowSurrogate();
        if (!paired)
            return QStringLiteral("holds a character the unit cannot hold (half a surrogate pair)");
        i += c.isHighSurrogate() ? 1 : 0;
    }
    return QString();
}

} // namespace command
