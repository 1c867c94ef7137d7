// The program's name and version, as its records and reports carry them.
#pragma once

namespace qor {

inline constexpr const char* ProgramName = "QOR 7316 Firmware Updater";
inline constexpr const char* ProgramVersion = "1.13";

} // namespace qor
