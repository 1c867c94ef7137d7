// The Windows registry below one root, the current user's hive unless a test gives another
// (an open key standing in for it).
#pragma once

#include <string>

#include "platform/WinHandles.h"
#include "settings/RegistryStore.h"

namespace qor {

class TWinRegistryStore : public IRegistryStore {
public:
    // `root` is not owned and must outlive the store; `rootName` is how messages name it.
    explicit TWinRegistryStore(HKEY root = HKEY_CURRENT_USER,
                               std::string rootName = "HKEY_CURRENT_USER")
        : Root(root), RootName(std::move(rootName)) {}

    // RegCreateKeyExW: opens the key, creating it when missing. Reading asks for KEY_READ;
    // writing for KEY_READ and KEY_WRITE, as a save reads what the key holds before it writes
    // (KEY_WRITE alone where reading is refused: then every value looks missing to the save).
    TResult<std::unique_ptr<IRegistryKey>, TStoreFailure> CreateKey(const std::string& path,
                                                                    TRegAccess access) override;
    // The registry never sets anything aside.
    std::vector<TStoreNotice> TakeNotices() override { return {}; }

private:
    HKEY Root;
    std::string RootName;
};

} // namespace qor
