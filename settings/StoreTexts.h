// What the user is told about the settings store, as texts: the store's own error texts and
// its notices. Each front end shows them its own way, the window in message boxes, the
// command line as events.
#pragma once

#include <cstdint>
#include <string>

#include "settings/RegistryStore.h"
#include "settings/StoreError.h"

namespace qor {

// The store's error text, fixed German, with the value's name; a failed write adds a second
// line naming the file (or key) and the cause in `language`.
std::string StoreErrorText(const TStoreError& error, std::uint8_t language);

std::string StoreNoticeText(const TStoreNotice& notice, std::uint8_t language);

} // namespace qor
