// The current user's protection of the proxy password, as the product uses it.
#pragma once

#include <memory>

#include "secrets/DataProtection.h"

namespace qor {

// Protection of the proxy password for the user, with its key beside the settings.
std::unique_ptr<IDataProtection> MakeUserDataProtection();

} // namespace qor
