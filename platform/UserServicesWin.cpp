#include <windows.h>

#include <shlobj.h>

#include "platform/DpapiProtection.h"
#include "platform/UserServices.h"
#include "platform/WinRegistryStore.h"

namespace qor {

std::optional<std::string> UserConfigDirectory() {
    // The user's roaming application data; the settings themselves are in the registry.
    char path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return std::nullopt;
    }
    return std::string(path);
}

std::optional<std::string> UserStateDirectory() {
    char path[MAX_PATH] = {};
    if (FAILED(
            ::SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return std::nullopt;
    }
    return std::string(path);
}

std::unique_ptr<IRegistryStore> MakeUserRegistryStore() {
    return std::make_unique<TWinRegistryStore>(HKEY_CURRENT_USER);
}

std::unique_ptr<IDataProtection> MakeUserDataProtection() {
    return std::make_unique<TDpapiProtection>();
}

} // namespace qor
