// The user's own directory for temporary files, and writing a file there safely.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qor {

// A directory only the current user can use, ending in a path separator; nullopt with the
// reason in `error` when none can be had.
std::optional<std::string> UserTempDirectory(std::string& error);

// Replaces `path` with exactly `bytes`: written to a new file beside it without following
// links, flushed, then renamed over it, so a reader sees the old file or the whole new one.
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string& error);

} // namespace qor
