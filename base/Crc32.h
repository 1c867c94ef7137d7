// CRC-32 of the device protocol and of image files: polynomial 0x04C11DB7, initial value 0,
// most significant bit first, no reflection, no final XOR.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor {

std::uint32_t CalcCrc32(const std::uint8_t* data, std::size_t size);

} // namespace qor
