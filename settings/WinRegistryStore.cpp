#include "settings/WinRegistryStore.h"

#include "platform/WinText.h"
#include "settings/WinRegistryKey.h"

namespace qor {
namespace {

// The key opened (or created) with `rights`; the call's status when it could not be.
TResult<win::TRegKey, LSTATUS> CreateKeyWith(HKEY root, const std::string& path, REGSAM rights) {
    HKEY key = nullptr;
    const LSTATUS status =
        ::RegCreateKeyExW(root, win::Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          rights, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return Fail(status);
    }
    return win::TRegKey(key);
}

// Whether something is there at `path` although it could not be opened: then it may hold
// the user's settings.
bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    const LSTATUS status =
        ::RegOpenKeyExW(root, win::Widen(path).c_str(), 0, KEY_QUERY_VALUE, &key);
    if (status == ERROR_SUCCESS) {
        ::RegCloseKey(key);
    }
    return status != ERROR_FILE_NOT_FOUND && status != ERROR_PATH_NOT_FOUND &&
           status != ERROR_KEY_DELETED;
}

} // namespace

TResult<std::unique_ptr<IRegistryKey>, TStoreFailure>
TWinRegistryStore::CreateKey(const std::string& path, TRegAccess access) {
    const std::string location = RootName + "\\" + path;
    auto key =
        CreateKeyWith(Root, path, access == TRegAccess::Read ? KEY_READ : KEY_READ | KEY_WRITE);
    if (!key && access == TRegAccess::Write && key.Error() == ERROR_ACCESS_DENIED) {
        key = CreateKeyWith(Root, path, KEY_WRITE);
    }
    if (!key) {
        TStoreFailure failure =
            RegistryFailure(location, "RegCreateKeyExW", static_cast<std::uint32_t>(key.Error()));
        failure.StoreExists = KeyExists(Root, path);
        return Fail(std::move(failure));
    }
    return std::unique_ptr<IRegistryKey>(
        std::make_unique<TWinRegistryKey>(std::move(*key), location));
}

} // namespace qor
