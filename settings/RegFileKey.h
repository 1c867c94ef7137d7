// One open key of the file-backed registry: the values of one .reg file, read once under a
// lock that is held until the key is closed, and written back whole on every change.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/PosixFiles.h"
#include "settings/RegFileFormat.h"
#include "settings/RegistryStore.h"

namespace qor {

class TRegFileKey : public IRegistryKey {
public:
    // What opening a key came to: the key or why not, and a file set aside on the way, which
    // the user is to be told of either way.
    struct TOpening {
        TResult<std::unique_ptr<TRegFileKey>, TStoreFailure> Key;
        std::optional<TStoreNotice> SetAside = {};
    };

    // Opens `filePath` holding `keyPath`. Read access takes a shared lock and reads; write
    // access takes the exclusive lock, reads, sets a file that cannot be parsed aside and
    // creates the file when missing. The key fails with the reason when it can be neither
    // opened nor created.
    static TOpening Open(const std::string& filePath, const std::string& keyPath, TRegAccess access,
                         std::chrono::milliseconds lockWait);

    std::optional<TRegValue> QueryValue(const std::string& name) override;
    // Rewrites the whole file atomically; when that fails the key keeps the values the file
    // still holds.
    TResult<void, TStoreFailure> SetValue(const std::string& name, const TRegValue& value) override;

private:
    TRegFileKey(std::string filePath, std::string keyPath, TRegAccess access,
                posix::TFileHandle lock)
        : FilePath(std::move(filePath)), KeyPath(std::move(keyPath)), Access(access),
          Lock(std::move(lock)) {}

    // Why a file that was read is not a store of ours; none when it is one (or missing).
    using TDamage = std::optional<TStoreFailure>;
    // Reads the file into Entries (a missing file is a key without values; a damaged one
    // leaves none); fails when it could not be read at all.
    TResult<TDamage, TStoreFailure> Load();
    // The notice that says where the file went.
    TResult<TStoreNotice, TStoreFailure> SetAside(const TStoreFailure& damage);
    TFailure<TStoreFailure> Refused(TStoreCause cause, std::string detail) const;

    std::string FilePath;
    std::string KeyPath;
    TRegAccess Access;
    posix::TFileHandle Lock; // the flock is released when this closes
    TRegEntries Entries;
    bool FileExists = false;
};

} // namespace qor
