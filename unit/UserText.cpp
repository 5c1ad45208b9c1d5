#include "unit/UserText.h"

namespace command {

bool fits(const QString &line)
{
    return line.toUtf8().size() < bufferSize;
}

bool isSendable(const QString &line)
{
    if (!line.endsWith(QLatin1Char('\n')) || !fits(line))
        return false;
    // C0, DEL and C1: none of them belongs in a label or a number, and each of C0 may end or
    // alter the line in the device's interpreter.
    for (int i = 0; i < line.size() - 1; ++i) {
        if (line.at(i).category() == QChar::Other_Control)
            return false;
    }
    return true;
}

} // namespace command
