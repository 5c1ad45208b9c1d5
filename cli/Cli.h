#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// vantelo-cli: a unit's settings from a shell or a script. Everything but main() lives here so
// that the tests run whole command lines in-process.
namespace cli {

// The exit codes; when several apply, the first of Usage, BadFile, NoUnit, Differs wins.
enum ExitCode
{
    Done = 0,    // done, and the unit matches
    Differs = 1, // a value differs, or did not take
    Usage = 2,   // the command line is wrong
    NoUnit = 3,  // no unit, a unit that stopped answering, or a key read as "no value"
    BadFile = 4, // a settings file that cannot be used
};

// Runs one command line (without the program's name). Results go to out, errors to err, one
// line each.
int run(const QStringList &arguments, QTextStream &out, QTextStream &err);

QString helpText();

} // namespace cli
