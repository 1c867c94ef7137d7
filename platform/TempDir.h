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
// On failure errno says why.
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string& error);

// Makes sure `path` is a directory only the current user can use: created 0700 when missing,
// then checked to be a real directory (no link) owned by the user with mode 0700. False with
// the reason in `error` otherwise; an existing directory is never altered.
bool EnsurePrivateDirectory(const std::string& path, std::string& error);

// Removes the temporary files WriteFileAtomically leaves beside `path` when a writer dies in
// the middle; returns how many it removed. Only while no other writer of `path` is at work.
int RemoveStaleTempFiles(const std::string& path);

} // namespace qor
