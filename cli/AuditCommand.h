#pragma once

#include <QStringList>

class QTextStream;

namespace cli {

// The word's position when the command line is "audit ..."; -1 for another command.
int auditCommandAt(const QStringList &words);

// vantelo-cli audit: reads every selected unit and compares each setting with the unit's last
// PASS result in the record; writes nothing. The words without the program's name and without
// "audit"; returns the exit code.
int auditCommand(const QStringList &words, QTextStream &out, QTextStream &err);

} // namespace cli
