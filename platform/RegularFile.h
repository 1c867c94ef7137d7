// Reading a whole file that the user named: only a regular file is read, and the open never
// waits (a FIFO or a device node chosen by mistake would otherwise hold the window until
// something writes to it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Result.h"

namespace qor {

enum class TFileFault {
    Missing,    // no such file (or folder on its path)
    CannotOpen, // there, but no permission, in use
    NotRegular, // a directory, a FIFO, a device, a socket
    TooLarge,   // above the caller's limit
    CannotRead, // an I/O error, or no memory for it
};

struct TFileError {
    TFileFault Fault;
    std::string Reason; // with the path, for whoever looks closer
};

// The file's bytes, at most `limit` of them; `path` is UTF-8.
TResult<std::vector<std::uint8_t>, TFileError> ReadRegularFile(const std::string& path,
                                                               std::size_t limit);

} // namespace qor
