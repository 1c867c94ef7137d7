// Frames and images as the virtual device and the tests make them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qor {

using TByteVector = std::vector<std::uint8_t>;

// A whole frame with its CRC, computed while the length field holds the length less four.
TByteVector BuildFrame(std::uint8_t code, const std::uint8_t* payload, std::size_t size);
inline TByteVector BuildFrame(std::uint8_t code, const TByteVector& payload = {}) {
    return BuildFrame(code, payload.data(), payload.size());
}

// An image file of `size` bytes (at least 24) with the four version characters 24 bytes
// before its end and the CRC-32 trailer, least significant byte first. The content is a
// pattern chosen by `seed`.
TByteVector MakeFirmwareImage(std::size_t size, std::string_view version, std::uint32_t seed = 1);

} // namespace qor
