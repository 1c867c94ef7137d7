// What the bootloader's replies reported about the device since it was last found. A value the
// device did not report is not known: none stands in for it, never a value of an earlier
// device or one read before the flash was rewritten.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/Result.h"
#include "firmware/DeviceVariant.h"

namespace qor {

struct TBootVersion {
    std::uint8_t Major = 0;
    std::uint8_t Minor = 0;
    bool operator==(const TBootVersion&) const = default;
};

struct TChecksums {
    std::uint32_t First = 0;
    std::uint32_t Second = 0;
    bool operator==(const TChecksums&) const = default;
};

struct TDeviceInfo {
    std::optional<TBootVersion> BootVersion;
    std::optional<std::uint32_t> PageCount;
    std::optional<std::uint32_t> PageSize; // bytes; only a code that names a size sets it
    std::optional<TChecksums> DeviceChecksums;
    std::optional<std::string> DeviceFWVersion; // four bytes as the device sent them (Windows-1252)

    // The device's firmware counts as intact when both checksums agree on a device whose
    // page size is known.
    bool ChecksumValid() const {
        return DeviceChecksums && DeviceChecksums->First == DeviceChecksums->Second &&
               PageSize.has_value();
    }

    bool operator==(const TDeviceInfo&) const = default;
};

// The device's variant from the geometry it reported; why it cannot be told when it did not
// report its page size or page count.
TResult<TDeviceVariant> ReportedVariant(const TDeviceInfo& info);

// What the device did not report, in words: "its firmware version", "its page size and its
// page count"; empty when it reported everything.
std::string UnreportedValues(const TDeviceInfo& info);

} // namespace qor
