// Loading and saving the settings under the product's registry key.
#pragma once

#include <stdexcept>
#include <string>

#include "base/Settings.h"
#include "platform/RegistryStore.h"

namespace qor {

inline constexpr const char* SettingsKeyPath = "Software\\zentrova GmbH\\QOR 7316 Firmware Updater";
inline constexpr std::size_t MaxProtectedPasswordSize = 4096;

// A value that could not be read or written; what() is the text shown to the user.
class ERegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads all seven values into `settings`. A missing value takes its default, and then all
// seven are written back. Throws ERegistryError for a value that cannot be read (the values
// before it keep what was read, nothing is written back) or for a failed write-back.
void LoadSettings(IRegistryStore& store, TSettings& settings);

// Writes all seven values in their fixed order. Throws ERegistryError naming the first value
// that could not be written; the ones after it are not written.
void SaveSettings(IRegistryStore& store, const TSettings& settings);

} // namespace qor
