// Small formats shared by the commands' messages.
#pragma once

#include <string>

#include "cli/Clock.h"

namespace qor::cli {

// "2 s", "2.5 s".
std::string SecondsText(TMs duration);

} // namespace qor::cli
