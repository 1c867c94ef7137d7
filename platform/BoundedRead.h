// The read loop of ReadRegularFile that both systems share.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/RegularFile.h"

namespace qor {

// Reads what fits into `room` bytes at `into`; 0 at the end of the file.
using TReadSome =
    std::function<TResult<std::size_t, TFileError>(std::uint8_t* into, std::size_t room)>;

// Reads the whole file named `path` through `readSome`. The size seen at open is only a
// first guess, as the file may change meanwhile: the limit holds whatever the file does.
TResult<std::vector<std::uint8_t>, TFileError> ReadBounded(const std::string& path,
                                                           std::uint64_t sizeAtOpen,
                                                           std::size_t limit,
                                                           const TReadSome& readSome);

} // namespace qor
