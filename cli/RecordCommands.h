#pragma once

#include <QStringList>

class QTextStream;

namespace cli {

// The word's position when the command line is "record ...", with options before or after the
// command; -1 when it is another command.
int recordCommandAt(const QStringList &words);

// vantelo-cli record init|units|history|map|import: the command line without the program's
// name and without the word "record". Returns the exit code.
int recordCommand(const QStringList &words, QTextStream &out, QTextStream &err);

QString recordHelpText();

} // namespace cli
