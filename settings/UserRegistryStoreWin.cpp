#include <windows.h>

#include "settings/UserRegistryStore.h"
#include "settings/WinRegistryStore.h"

namespace qor {

std::unique_ptr<IRegistryStore> MakeUserRegistryStore() {
    return std::make_unique<TWinRegistryStore>(HKEY_CURRENT_USER);
}

} // namespace qor
