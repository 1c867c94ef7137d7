#include "platform/ServiceLog.h"

#include <chrono>
#include <filesystem>
#include <vector>

#include "platform/FileLock.h"
#include "platform/RegularFile.h"
#include "platform/TempDir.h"
#include "platform/UserServices.h"
#include "platform/Utf8Path.h"

namespace qor {
namespace {

constexpr std::chrono::milliseconds LockWait{2000};
constexpr const char* LockFileName = "service.log.lock";

// The file's bytes; a missing file is an empty log.
TResult<std::string> ReadLog(const std::string& path, std::size_t limit) {
    auto bytes = ReadRegularFile(path, limit);
    if (!bytes) {
        // Only a log that is not there is empty: one that cannot be read now is kept as it is.
        if (bytes.Error().Fault == TFileFault::Missing) {
            return std::string();
        }
        return Fail(TError{bytes.Error().Reason});
    }
    return std::string(bytes->begin(), bytes->end());
}

TResult<void> Write(const std::string& path, const std::string& text) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    return WriteFileAtomically(path, {data, text.size()});
}

} // namespace

TServiceLog::TServiceLog(std::string directory, std::size_t limit)
    : Directory(std::move(directory)), Limit(limit) {
}

std::string TServiceLog::Path() const {
    return Directory + "/" + FileName;
}

TResult<void> TServiceLog::Append(const std::string& record) {
    if (Directory.empty()) {
        return Fail(TError{"no folder is known for the service log of this user"});
    }
    // The state home itself may not exist yet on a fresh system.
    std::error_code ignored;
    std::filesystem::create_directories(PathOfUtf8(Directory).parent_path(), ignored);
    if (auto made = EnsurePrivateDirectory(Directory); !made) {
        return made;
    }
    auto lock = TFileLock::Acquire(Directory + "/" + LockFileName, LockWait);
    if (!lock) {
        return Fail(lock.Error());
    }
    // Twice the limit: a log that somehow grew past it is still read, then rotated.
    auto log = ReadLog(Path(), 2 * Limit + record.size());
    if (!log) {
        return Fail(log.Error());
    }
    std::string text = std::move(*log);
    if (!text.empty() && text.size() + record.size() > Limit) {
        if (auto kept = Write(Directory + "/" + OlderFileName, text); !kept) {
            return kept;
        }
        text.clear();
    }
    text += record;
    return Write(Path(), text);
}

TResult<std::string> TServiceLog::ReadAll() const {
    if (Directory.empty()) {
        return Fail(TError{"no folder is known for the service log of this user"});
    }
    auto older = ReadLog(Directory + "/" + OlderFileName, 2 * Limit);
    if (!older) {
        return older;
    }
    auto current = ReadLog(Path(), 2 * Limit);
    if (!current) {
        return current;
    }
    return *older + *current;
}

TServiceLog UserServiceLog(const std::string& folder) {
    const auto state = UserStateDirectory();
    return TServiceLog(state ? *state + "/" + folder : std::string());
}

} // namespace qor
