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
    // Opens `filePath` holding `keyPath`. Read access takes a shared lock and reads; write
    // access takes the exclusive lock, reads, sets a file that cannot be parsed aside
    // (reported in `notice`) and creates the file when missing. Fails with the reason when
    // the key can be neither opened nor created.
    static TResult<std::unique_ptr<TRegFileKey>, TStoreFailure>
    Open(const std::string& filePath, const std::string& keyPath, TRegAccess access,
         std::chrono::milliseconds lockWait, std::optional<TStoreNotice>& notice);

    std::optional<TRegValue> QueryValue(const std::string& name) override;
    // Rewrites the whole file atomically; when that fails the key keeps the values the file
    // still holds.
    TResult<void, TStoreFailure> SetValue(const std::string& name, const TRegValue& value) override;

private:
    TRegFileKey(std::string filePath, std::string keyPath, TRegAccess access,
                posix::TFileHandle lock)
        : FilePath(std::move(filePath)), KeyPath(std::move(keyPath)), Access(access),
          Lock(std::move(lock)) {}

    enum class TLoad {
        Read,    // the values are in Entries; a missing file is a key without values
        Damaged, // the file is there but not a store of ours; `failure` says why
        Failed,  // the file could not be read at all; `failure` says why
    };
    TLoad Load(TStoreFailure& failure);
    TResult<void, TStoreFailure> SetAside(const TStoreFailure& damage,
                                          std::optional<TStoreNotice>& notice);
    TFailure<TStoreFailure> Refused(TStoreCause cause, std::string detail) const;

    std::string FilePath;
    std::string KeyPath;
    TRegAccess Access;
    posix::TFileHandle Lock; // the flock is released when this closes
    TRegEntries Entries;
    bool FileExists = false;
};

} // namespace qor
