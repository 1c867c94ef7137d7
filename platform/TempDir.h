// The user's own directory for temporary files, and writing a file there safely.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/Result.h"

namespace qor {

// A directory only the current user can use, ending in a path separator, or why none can be
// had.
TResult<std::string> UserTempDirectory();

// What a written file must outlive. Durable: a crash of the machine, so the write waits for
// the disk (the file and the rename); for what the user asked to keep. Scratch: nothing more
// than the program using it, as a copy in the temporary directory; readers still see the old
// file or the whole new one, but nobody waits for the disk.
enum class TDurability { Durable, Scratch };

// Replaces `path` with exactly `bytes`: written to a new file beside it without following
// links, flushed as `durability` asks, then renamed over it, so a reader sees the old file or
// the whole new one. On failure errno also says why, so a caller can tell a full disk from a
// read-only folder.
TResult<void> WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                                  TDurability durability = TDurability::Durable);

// Makes sure `path` is a directory only the current user can use: created 0700 when missing,
// then checked to be a real directory (no link) owned by the user with mode 0700; the reason
// otherwise. An existing directory is never altered.
TResult<void> EnsurePrivateDirectory(const std::string& path);

// Removes the temporary files WriteFileAtomically leaves beside `path` when a writer dies in
// the middle; returns how many it removed. Only while no other writer of `path` is at work.
int RemoveStaleTempFiles(const std::string& path);

} // namespace qor
