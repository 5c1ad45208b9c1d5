#pragma once

#include "cli/ExitCodes.h"

#include <QString>
#include <QStringList>

class QTextStream;

// vantelo-cli: a unit's settings from a shell or a script. Everything but main() lives here so
// that the tests run whole command lines in-process.
namespace cli {

// Runs one command line (without the program's name). Results go to out, errors to err, one
// line each.
int run(const QStringList &arguments, QTextStream &out, QTextStream &err);

} // namespace cli
