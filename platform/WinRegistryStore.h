// The Windows registry below one root, the current user's hive unless a test gives another
// (an open key standing in for it).
#pragma once

#include "platform/RegistryStore.h"
#include "platform/WinHandles.h"

namespace qor {

class TWinRegistryStore : public IRegistryStore {
public:
    // `root` is not owned and must outlive the store.
    explicit TWinRegistryStore(HKEY root = HKEY_CURRENT_USER) : Root(root) {}

    // RegCreateKeyExA with KEY_READ or KEY_WRITE: opens the key, creating it when missing.
    std::unique_ptr<IRegistryKey> CreateKey(const std::string& path, TRegAccess access) override;
    // The registry never sets anything aside.
    std::vector<TStoreNotice> TakeNotices() override { return {}; }

private:
    HKEY Root;
};

} // namespace qor
