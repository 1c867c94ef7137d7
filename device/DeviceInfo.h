// What the bootloader's replies report about the device. Each field keeps its last value until
// a good reply of its own request replaces it.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

struct TDeviceInfo {
    std::uint32_t BootVersionMajor = 0;
    std::uint32_t BootVersionMinor = 0;
    std::uint32_t PageCount = 0;
    std::uint32_t PageSize = 0; // bytes; 0 until a valid page-size code was received
    std::uint32_t DeviceChecksum1 = 0;
    std::uint32_t DeviceChecksum2 = 0;
    std::string DeviceFWVersion; // four bytes as the device sent them (Windows-1252)

    // The device's firmware counts as intact when both checksums agree on a device whose
    // page size is known.
    bool ChecksumValid() const { return DeviceChecksum1 == DeviceChecksum2 && PageSize != 0; }

    bool operator==(const TDeviceInfo&) const = default;
};

} // namespace qor
