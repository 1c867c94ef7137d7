// The file operations AppendRecord is made of, one back-end per system: a log file opened for
// adding at its end, and a file renamed over another.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace qor {

// An open log file; closed when it goes away.
class IAppendTarget {
public:
    virtual ~IAppendTarget() = default;
    virtual TResult<std::uint64_t> Size() = 0;
    // Up to `count` bytes from `offset` on.
    virtual TResult<std::string> ReadAt(std::uint64_t offset, std::size_t count) = 0;
    virtual TResult<void> Truncate(std::uint64_t size) = 0;
    // Writes all of `bytes` at the end of the file.
    virtual TResult<void> Append(std::string_view bytes) = 0;
    // Waits until what was written is on the disk.
    virtual TResult<void> Flush() = 0;
};

// Opens `path` for reading and adding, created private to the user when missing; only a
// regular file, never through a link.
TResult<std::unique_ptr<IAppendTarget>> OpenAppendTarget(const std::string& path);

// Renames `from` to `to`, replacing whatever `to` was, in one step.
TResult<void> RenameOver(const std::string& from, const std::string& to);

} // namespace qor
