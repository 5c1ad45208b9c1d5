#include "link/SettingsIO.h"

#include "link/Serial.h"
#include "unit/ReplyParsing.h"
#include "unit/UserText.h"

namespace settings {

Reading read(Serial &serial, const Setting &setting)
{
    Reading reading;
    QString parts[2];
    bool complete = true;
    for (int i = 0; i < setting.queries.size() && i < 2; ++i) {
        const Query &q = setting.queries.at(i);
        QString whole;
        if (serial.transact(q.command, whole) == Serial::Outcome::Closed) {
            // The first part decides whether anything was read; should only the second fail,
            // the first alone still identifies the firmware, where a stale second would not.
            if (i == 0)
                return reading;
            complete = false;
            break;
        }
        parts[i] = wordsOf(q, whole);
    }
    reading.sent = true;
    QString words = parts[0];
    if (setting.queries.size() > 1 && complete)
        words += QStringLiteral(", ") + parts[1];

    if (setting.quoted) {
        const QLatin1String quote("'");
        const int firstQuote = words.indexOf(quote);
        const bool closed = firstQuote >= 0 && words.lastIndexOf(quote) > firstQuote;
        reading.words = reply::quoted(words, quote);
        if (closed)
            reading.value = Value(reading.words);
        return reading;
    }
    reading.words = words;
    if (setting.queries.size() > 1 && (parts[0].isEmpty() || parts[1].isEmpty() || !complete))
        return reading;
    reading.value = valueFromWords(setting, words);
    return reading;
}

bool sendUserText(Serial &serial, const Setting &setting, const QString &argument)
{
    const QString line = setCommand(setting, argument);
    // A line the command buffer could not hold, or user text that would make it more than one
    // command line, is not sent at all; the read-back then shows that nothing changed.
    if (setting.isReadOnly() || !command::isSendable(line))
        return false;
    QString reply;
    return serial.transact(line, reply) != Serial::Outcome::Closed;
}

WriteResult write(Serial &serial, const Setting &setting, const Value &value)
{
    WriteResult result;
    result.refused = refusal(setting, value);
    if (!result.refused.isEmpty())
        return result;
    QString reply;
    // What the device answers to a set is not examined: the read-back says what it holds.
    serial.transact(setCommand(setting, argument(setting, value)), reply);
    result.after = read(serial, setting);
    return result;
}

bool factoryReset(Serial &serial)
{
    QString reply;
    return serial.transact(factoryResetCommand(), reply) != Serial::Outcome::Closed;
}

} // namespace settings
