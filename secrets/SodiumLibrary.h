// libsodium is opened at the first secret (see SodiumLibrary.cpp).
#pragma once

#include "base/Result.h"

namespace qor {

// Opens libsodium with every function the protection calls, once; the loader's reason when
// the library or one of them cannot be found.
TResult<void> LoadSodium();

} // namespace qor
