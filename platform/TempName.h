// The names of the temporary files written beside a file before they replace it, on every
// system: ".<name>.<process id>.tmp", and on later attempts a random part after the id (a dead
// writer of the same id may have left its file behind). A stale one is known by the pattern.
#pragma once

#include <string>

namespace qor {

inline constexpr const char* TempSuffix = ".tmp";

std::string TempNameFor(const std::string& baseName, unsigned long processId,
                        const std::string& randomPart);
bool IsTempNameFor(const std::string& fileName, const std::string& baseName);

} // namespace qor
