#include "flow/ServiceLog.h"

#include <chrono>
#include <filesystem>
#include <vector>

#include "platform/AppendFile.h"
#include "platform/FileLock.h"
#include "platform/RegularFile.h"
#include "platform/TempDir.h"
#include "platform/UserServices.h"
#include "platform/Utf8Path.h"

namespace qor {
namespace {

constexpr std::chrono::milliseconds LockWait{2000};
constexpr const char* LockFileName = "service.log.lock";
// A text record ends with a blank line, a JSON record with its line's end.
constexpr std::string_view TextTerminator = "\n\n";
constexpr std::string_view JsonTerminator = "\n";

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

} // namespace

TServiceLog::TServiceLog(std::string directory, std::size_t limit, std::size_t jsonLimit)
    : Directory(std::move(directory)), Limit(limit), JsonLimit(jsonLimit) {
}

std::string TServiceLog::Path() const {
    return Directory + "/" + FileName;
}

std::string TServiceLog::JsonPath() const {
    return Directory + "/" + JsonFileName;
}

TResult<void> TServiceLog::Append(const std::string& record, const std::string& jsonLine) {
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
    if (auto kept =
            AppendRecord(Path(), record, {TextTerminator, Limit, Directory + "/" + OlderFileName});
        !kept) {
        return kept;
    }
    return AppendRecord(JsonPath(), jsonLine,
                        {JsonTerminator, JsonLimit, Directory + "/" + OlderJsonFileName});
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
