#pragma once

#include <QString>

// The device copies every command line into a fixed 256-byte buffer (terminator included). A line
// that does not fit is never sent: cutting it would change what the user asked for, and an
// overlong line would arrive corrupted. Pages that put user text into a command check it here.
namespace command {

constexpr int bufferSize = 256;

// True when the line's UTF-8 form, with the terminating zero, fits the buffer.
bool fits(const QString &line);

} // namespace command
