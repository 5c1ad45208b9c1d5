#pragma once

// vantelo-cli's exit codes, for the dispatcher and every command alike.
namespace cli {

// When several apply, the first of Usage, BadFile, NoUnit, Differs wins.
enum ExitCode
{
    Done = 0,                // done, and the unit matches
    Differs = 1,             // a value differs, or did not take
    Usage = 2,               // the command line is wrong
    NoUnit = 3,              // no unit, a unit that stopped answering, or a key read as "no value"
    BadFile = 4,             // a settings file, log or template that cannot be used
    RecordProblem = BadFile, // the rig record cannot be reached or used
};

} // namespace cli
