#pragma once

#include <QStringList>

class QTextStream;

namespace cli {

// The word's position when the command line is "replace ..."; -1 for another command.
int replaceCommandAt(const QStringList &words);

// vantelo-cli replace OLD_UID: gives the attached unit everything OLD_UID's last PASS result
// holds, reads it back, and records it as a PASS in OLD_UID's slot. The words without the
// program's name and without "replace"; returns the exit code.
int replaceCommand(const QStringList &words, QTextStream &out, QTextStream &err);

} // namespace cli
