// What the process was started with, in UTF-8 on every system: the words of its command line
// and the variables of its environment.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qor {

// The arguments after the program's name. Windows hands them over in UTF-16 (the `argv` of
// its C runtime holds them in the ANSI code page, which may not have every character of a
// path); elsewhere they are `argv` as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// A variable of the process's environment; none when it is not set.
std::optional<std::string> EnvironmentValue(const char* name);

} // namespace qor
