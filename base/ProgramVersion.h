// The program's name and version, as its records and reports carry them.
#pragma once

#include "base/FixedTexts.h"

namespace qor {

inline constexpr const char* ProgramName = ApplicationTitle;
inline constexpr const char* ProgramVersion = QOR_PROGRAM_VERSION; // the build's version

} // namespace qor
