#pragma once

#include <QStringList>

class QTextStream;

namespace cli {

// The word's position when the command line is "gdtf ...", with options before or after the
// command; -1 when it is another command.
int patchCommandAt(const QStringList &words);

// vantelo-cli gdtf MODEL --out FILE.gdtf: the fixture type of a dimmer model, generated from the
// catalogue. The words come without the program's name and without the command word.
int patchCommand(const QStringList &words, QTextStream &out, QTextStream &err);

// The same for "export ...".
int exportCommandAt(const QStringList &words);

// vantelo-cli export --record URL --out FILE [--universe U]...: the record's held dimmer slots as
// an MVR scene or a CSV patch, by the file's extension. Without the command word.
int exportCommand(const QStringList &words, QTextStream &out, QTextStream &err);

} // namespace cli
