// The service log: one record a finished update, kept per user where the system keeps an
// application's state, so a technician can send it to support; beside it the same records as
// JSON lines, for a collector. Both are bounded: when a log would outgrow its limit it becomes
// the older log (the one before is dropped) and a new one starts. A record is appended to
// both under one lock between instances, each written whole or not at all, in a directory only
// the user can read; it costs its own bytes, however long the logs are.
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
    // A collector may fall behind by days: its log holds sixteen times as many records.
    static constexpr std::size_t DefaultJsonLimit = 16 * DefaultLimit;
    static constexpr const char* JsonFileName = "service-log.jsonl";
    static constexpr const char* OlderJsonFileName = "service-log.jsonl.1";

    // `directory` is the program's own (made private when missing); empty: nowhere to log,
    // every call then fails with that reason.
    explicit TServiceLog(std::string directory, std::size_t limit = DefaultLimit,
                         std::size_t jsonLimit = DefaultJsonLimit);

    // `record`: lines ending in a blank line; `jsonLine`: one JSON object and its newline.
    TResult<void> Append(const std::string& record, const std::string& jsonLine);
    // The text log: the older one and then the current one; empty when nothing was logged yet.
    TResult<std::string> ReadAll() const;

    std::string Path() const;
    std::string JsonPath() const;

private:
    std::string Directory;
    std::size_t Limit;
    std::size_t JsonLimit;
};

// The log of the current user: $XDG_STATE_HOME (default ~/.local/state) on Linux, the local
// application data on Windows, in `folder` there.
inline constexpr const char* ProgramStateFolder = "qor7316-updater";
TServiceLog UserServiceLog(const std::string& folder = ProgramStateFolder);

} // namespace qor
