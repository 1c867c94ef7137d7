#include "platform/WinRegistryStore.h"

#include "platform/WinRegistryKey.h"

namespace qor {

std::unique_ptr<IRegistryKey> TWinRegistryStore::CreateKey(const std::string& path,
                                                           TRegAccess access) {
    const REGSAM rights = access == TRegAccess::Read ? KEY_READ : KEY_WRITE;
    HKEY key = nullptr;
    if (::RegCreateKeyExA(Root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, rights, nullptr,
                          &key, nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    return std::make_unique<TWinRegistryKey>(win::TRegKey(key));
}

} // namespace qor
