// One open key of the file-backed registry: the values of one .reg file, read once under a
// lock that is held until the key is closed, and written back whole on every change.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/PosixFiles.h"
#include "platform/RegFileFormat.h"
#include "platform/RegistryStore.h"

namespace qor {

class TRegFileKey : public IRegistryKey {
public:
    // Opens `filePath` holding `keyPath`. Read access takes a shared lock and reads; write
    // access takes the exclusive lock, sets a file that cannot be parsed aside (reported in
    // `notice`) and creates the file when missing. nullptr with the reason in `error` when
    // the key can be neither opened nor created.
    static std::unique_ptr<TRegFileKey> Open(const std::string& filePath,
                                             const std::string& keyPath, TRegAccess access,
                                             std::chrono::milliseconds lockWait,
                                             std::optional<TStoreNotice>& notice,
                                             std::string& error);

    std::optional<TRegValue> QueryValue(const std::string& name) override;
    // Rewrites the whole file atomically; false (with LastError) when that fails, and then
    // the key keeps the values the file still holds.
    bool SetValue(const std::string& name, const TRegValue& value) override;

    const std::string& LastError() const { return Error; }

private:
    TRegFileKey(std::string filePath, std::string keyPath, TRegAccess access,
                posix::TFileHandle lock)
        : FilePath(std::move(filePath)), KeyPath(std::move(keyPath)), Access(access),
          Lock(std::move(lock)) {}

    // Reads the file. Missing: true with no values. Unparsable: true with `damaged` set.
    // False for a file that cannot be read at all.
    bool Load(bool& damaged, std::string& error);
    bool SetAside(std::optional<TStoreNotice>& notice, std::string& error);

    std::string FilePath;
    std::string KeyPath;
    TRegAccess Access;
    posix::TFileHandle Lock; // the flock is released when this closes
    TRegEntries Entries;
    bool FileExists = false;
    std::string Error;
};

} // namespace qor
