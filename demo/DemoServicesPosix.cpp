#include "demo/DemoOptions.h"
#include "secrets/SodiumProtection.h"
#include "settings/RegFileStore.h"

namespace qor {

std::unique_ptr<IRegistryStore> MakeDemoRegistryStore() {
    // Without a home the store reports every key as unavailable, as the product does.
    return std::make_unique<TRegFileStore>(DemoConfigDirectory().value_or(std::string()));
}

std::unique_ptr<IDataProtection> MakeDemoDataProtection() {
    const auto config = DemoConfigDirectory();
    // Without a home every call fails with the reason, as the product's does.
    return std::make_unique<TSodiumProtection>(config ? TSodiumProtection::KeyFileIn(*config)
                                                      : std::string());
}

} // namespace qor
