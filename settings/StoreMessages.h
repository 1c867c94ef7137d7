// What the user is told about the settings store, in the language of the settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/MessageBox.h"
#include "settings/RegistryStore.h"

namespace qor {

// "<file>: <cause>", the line that follows a registry error text.
std::string StoreFailureLine(const TStoreFailure& failure, std::uint8_t language);

std::string StoreNoticeText(const TStoreNotice& notice, std::uint8_t language);

// Shows each notice in a message box. For a store another program holds locked the box asks
// whether to read it again; true when the user wants that.
bool TellStoreNotices(const std::vector<TStoreNotice>& notices, IMessageBox& messages,
                      std::uint8_t language);

} // namespace qor
