#pragma once

namespace cli {

class Context;
struct Options;

// Runs the parsed command. Everything that can be checked without the unit is checked before it
// is opened.
void runCommand(const Options &options, Context &context);

} // namespace cli
