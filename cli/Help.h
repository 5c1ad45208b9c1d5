#pragma once

#include <QString>

namespace cli {

// vantelo-cli --help: every command, option and exit code.
QString helpText();

} // namespace cli
