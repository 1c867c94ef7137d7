// The current user's registry kept in files: each key "Software\A\B" is the Windows .reg
// export file <root>/A/B.reg, so it can be read, edited and carried over by hand.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/RegistryStore.h"

namespace qor {

class TRegFileStore : public IRegistryStore {
public:
    static constexpr std::chrono::milliseconds DefaultLockWait{5000};

    // `root` is the user's configuration directory; `lockWait` how long to wait for a key
    // another process (or another open key of this one) holds.
    explicit TRegFileStore(std::string root, std::chrono::milliseconds lockWait = DefaultLockWait);

    std::unique_ptr<IRegistryKey> CreateKey(const std::string& path, TRegAccess access) override;
    std::vector<TStoreNotice> TakeNotices() override;

    // The file that holds the key `path`; nullopt for a path outside "Software\" or with a
    // part that cannot be a file name.
    std::optional<std::string> FileOf(const std::string& path) const;
    // Why the last CreateKey gave nullptr.
    const std::string& LastError() const { return Error; }

private:
    std::string Root;
    std::chrono::milliseconds LockWait;
    std::vector<TStoreNotice> Notices;
    std::string Error;
};

} // namespace qor
