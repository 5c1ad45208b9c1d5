#pragma once

#include <QString>

// Every command line is built in the program's own 256-byte command buffer (terminator included).
// A line that does not fit is never sent: cutting it would change what the user asked for. Every
// command that carries user text, from a page, a file or the command line, is checked here.
namespace command {

constexpr int bufferSize = 256;

// True when the line's UTF-8 form, with the terminating zero, fits the buffer.
bool fits(const QString &line);

// The one check every command carrying user text passes before it is sent: the line fits the
// buffer, ends in its line break, and holds no other control character and no character the
// unit cannot hold (half of a surrogate pair, which would reach it as '?'). A line break pasted
// into a field would otherwise end the command early and make the rest a command of its own
// ("abc\nsetUserDefaults"), so such text is refused whole, never stripped: what reaches the
// device is always exactly what the user typed, or nothing.
bool isSendable(const QString &line);
// Empty when isSendable; otherwise why not, in a few words.
QString refusal(const QString &line);

} // namespace command
