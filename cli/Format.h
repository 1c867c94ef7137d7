// Small formats shared by the commands' messages.
#pragma once

#include <cstdint>
#include <string>

#include "cli/Clock.h"

namespace qor::cli {

// "0x1234ABCD".
std::string Hex32(std::uint32_t value);
// "2 s", "2.5 s".
std::string SecondsText(TMs duration);

} // namespace qor::cli
