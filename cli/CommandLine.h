// The program as a function: the arguments (without the program's name) in, the exit code
// out, everything said through the services' streams.
#pragma once

#include <span>
#include <string>

#include "cli/CliServices.h"

namespace qor::cli {

int RunCommandLine(std::span<const std::string> args, TCliServices& services);

} // namespace qor::cli
