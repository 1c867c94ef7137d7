// The current user's registry kept in files: each key "Software\A\B" is the Windows .reg
// export file <root>/A/B.reg, so it can be read, edited and carried over by hand.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "settings/RegistryStore.h"

namespace qor {

class TRegFileStore : public IRegistryStore {
public:
    static constexpr std::chrono::milliseconds DefaultLockWait{5000};
    // A writer holds the lock for one rewrite of a small file. A reader that waits longer has
    // met something unusual and gives up early: the first read happens before the window is
    // shown, and the settings store then leaves the store alone and says so.
    static constexpr std::chrono::milliseconds MaxReadLockWait{500};

    // `root` is the user's configuration directory; `lockWait` how long to wait for a key
    // another process (or another open key of this one) holds, at most MaxReadLockWait for
    // reading.
    explicit TRegFileStore(std::string root, std::chrono::milliseconds lockWait = DefaultLockWait);

    TResult<std::unique_ptr<IRegistryKey>, TStoreFailure> CreateKey(const std::string& path,
                                                                    TRegAccess access) override;
    std::vector<TStoreNotice> TakeNotices() override;

    // The file that holds the key `path`; fails without a configuration directory, for a path
    // outside "Software\\" and for one with a part that cannot be a file name.
    TResult<std::string, TStoreFailure> FileOf(const std::string& path) const;

private:
    std::string Root;
    std::chrono::milliseconds LockWait;
    std::vector<TStoreNotice> Notices;
};

} // namespace qor
