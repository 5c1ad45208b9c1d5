#pragma once

#include <QStringList>

class QTextStream;

namespace cli {

// The word's position when the command line is "provision ...", with options before or after
// the command; -1 when it is another command.
int provisionCommandAt(const QStringList &words);

// vantelo-cli provision: the command line without the program's name and without the word
// "provision". Runs the station until every unit has finished (with --watch: until SIGINT or
// SIGTERM) and returns the exit code.
int provisionCommand(const QStringList &words, QTextStream &out, QTextStream &err);

} // namespace cli
