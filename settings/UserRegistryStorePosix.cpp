#include "platform/UserServices.h"
#include "settings/RegFileStore.h"
#include "settings/UserRegistryStore.h"

namespace qor {

std::unique_ptr<IRegistryStore> MakeUserRegistryStore() {
    return std::make_unique<TRegFileStore>(UserConfigDirectory().value_or(std::string()));
}

} // namespace qor
