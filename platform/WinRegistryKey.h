// One open key of the Windows registry, through the ANSI registry calls: the settings store
// decides what the types and bytes mean, this only moves them.
#pragma once

#include "platform/RegistryStore.h"
#include "platform/WinHandles.h"

namespace qor {

class TWinRegistryKey : public IRegistryKey {
public:
    explicit TWinRegistryKey(win::TRegKey key) : Key(std::move(key)) {}

    // The whole value, whatever its size. A value the system will not hand out counts as
    // missing, as it does for the registry's own "value exists" test.
    std::optional<TRegValue> QueryValue(const std::string& name) override;
    bool SetValue(const std::string& name, const TRegValue& value) override;

private:
    win::TRegKey Key;
};

} // namespace qor
