#pragma once

#include "unit/DeviceSettings.h"

class Serial;

// The settings table put to work on a unit: reading a setting's words and value through the
// channel, and the two ways of writing one (the pages' text as typed, the tools' checked value).
namespace settings {

struct Reading
{
    // The channel was open for the read; false leaves a page's field alone.
    bool sent = false;
    // The words read (for a quoted setting: the quoted text, or all of it without quotes): what a
    // page shows when there is no value.
    QString words;
    // The value in the key's terms, or none: empty or short reply, a label without quotes, a
    // number that is not one, a position outside the table.
    std::optional<Value> value;
};

Reading read(Serial &serial, const Setting &setting);

// The pages' write: the argument as the user typed it, sent only if the user-text rule accepts
// the line. True when it was sent. The page then reads back through its own reader.
bool sendUserText(Serial &serial, const Setting &setting, const QString &argument);

struct WriteResult
{
    // Why the value was not sent (empty when it was).
    QString refused;
    // The read-back after the set.
    Reading after;
};

// The tools' write: the value is checked first (refusal), then set, then read back.
WriteResult write(Serial &serial, const Setting &setting, const Value &value);

// Sends the factory reset; false when the channel was closed.
bool factoryReset(Serial &serial);

} // namespace settings
