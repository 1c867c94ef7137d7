// One open key of the Windows registry, through the wide registry calls: the settings store
// decides what the types and bytes mean, this only moves them, texts in UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "platform/WinHandles.h"
#include "settings/RegistryStore.h"

namespace qor {

// A registry call's status as the store's failure at `location`.
TStoreFailure RegistryFailure(const std::string& location, const std::string& call,
                              std::uint32_t status);

class TWinRegistryKey : public IRegistryKey {
public:
    // `location` names the key in messages.
    TWinRegistryKey(win::TRegKey key, std::string location)
        : Key(std::move(key)), Location(std::move(location)) {}

    // The whole value, whatever its size. A value the system will not hand out counts as
    // missing, as it does for the registry's own "value exists" test.
    std::optional<TRegValue> QueryValue(const std::string& name) override;
    TResult<void, TStoreFailure> SetValue(const std::string& name, const TRegValue& value) override;

private:
    win::TRegKey Key;
    std::string Location;
};

} // namespace qor
