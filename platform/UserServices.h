// The platform services of the current user, as the product uses them: one call each.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/DataProtection.h"
#include "platform/RegistryStore.h"

namespace qor {

// Where the user's settings live: $XDG_CONFIG_HOME when it is an absolute path, else
// ~/.config; nullopt when the user has no known home.
std::optional<std::string> UserConfigDirectory();

// Where the program keeps what it records for the user: $XDG_STATE_HOME when absolute, else
// ~/.local/state; the local application data on Windows. nullopt without a known home.
std::optional<std::string> UserStateDirectory();

// The user's registry (the settings key below it). Never null: without a configuration
// directory every key fails to open, which the settings store reports.
std::unique_ptr<IRegistryStore> MakeUserRegistryStore();

// Protection of the proxy password for the user, with its key beside the settings.
std::unique_ptr<IDataProtection> MakeUserDataProtection();

} // namespace qor
