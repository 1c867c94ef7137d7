// Checking and decoding of the bootloader's replies. Free functions over a plain buffer so
// that they can be exercised directly with hostile input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qor {

// What the bootloader's replies report. Each field keeps its last value until a good reply
// of its code replaces it.
struct TDeviceValues {
    std::uint32_t BootVersionMajor = 0;
    std::uint32_t BootVersionMinor = 0;
    std::uint32_t PageCount = 0;
    std::uint32_t PageSize = 0; // 0 until a valid page-size code was received
    std::uint32_t DeviceChecksum1 = 0;
    std::uint32_t DeviceChecksum2 = 0;
    std::string DeviceFWVersion; // four bytes as the device sent them (Windows-1252)
};

// Length and CRC check of the reply frame at `reply`, whose buffer holds `capacity` bytes.
// Rewrites the length field to the length without the CRC, over which the CRC was computed.
// Fails for a length below 7 or beyond the buffer.
bool CheckReply(std::uint8_t* reply, std::size_t capacity);

// Stores the fields of a checked reply of `length` bytes (its on-wire length) by its code.
// Fails for a code above 12, and for a reply too short to hold its code's data; nothing is
// changed then.
bool DecodeReply(const std::uint8_t* reply, std::size_t length, TDeviceValues& values);

} // namespace qor
