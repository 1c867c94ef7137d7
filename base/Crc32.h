// CRC-32 of the device protocol and of image files: polynomial 0x04C11DB7, initial value 0,
// most significant bit first, no reflection, no final XOR.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor {

std::uint32_t CalcCrc32(const std::uint8_t* data, std::size_t size);

// Carries a CRC computed over earlier bytes on over `size` more, so a sequence can be checked
// in pieces without copying it together.
std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

} // namespace qor
