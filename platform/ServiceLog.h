// The service log: one record a finished update, kept per user where the system keeps an
// application's state, so a technician can send it to support. It is bounded: when the log
// would outgrow its limit it becomes the older log (the one before is dropped) and a new one
// starts. Each append is written whole or not at all, under a lock between instances, in a
// directory only the user can read.
#pragma once

#include <cstddef>
#include <string>

#include "base/Result.h"

namespace qor {

class TServiceLog {
public:
    static constexpr std::size_t DefaultLimit = std::size_t{256} * 1024;
    static constexpr const char* FileName = "service.log";
    static constexpr const char* OlderFileName = "service.log.1";

    // `directory` is the program's own (made private when missing); empty: nowhere to log,
    // every call then fails with that reason.
    explicit TServiceLog(std::string directory, std::size_t limit = DefaultLimit);

    TResult<void> Append(const std::string& record);
    // The older log and then the current one; empty when nothing was logged yet.
    TResult<std::string> ReadAll() const;

    std::string Path() const;

private:
    std::string Directory;
    std::size_t Limit;
};

// The log of the current user: $XDG_STATE_HOME (default ~/.local/state) on Linux, the local
// application data on Windows, in `folder` there.
inline constexpr const char* ProgramStateFolder = "qor7316-updater";
TServiceLog UserServiceLog(const std::string& folder = ProgramStateFolder);

} // namespace qor
