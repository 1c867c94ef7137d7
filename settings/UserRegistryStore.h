// The current user's settings store, as the product uses it.
#pragma once

#include <memory>

#include "settings/RegistryStore.h"

namespace qor {

// The user's registry (the settings key below it). Never null: without a configuration
// directory every key fails to open, which the settings store reports.
std::unique_ptr<IRegistryStore> MakeUserRegistryStore();

} // namespace qor
