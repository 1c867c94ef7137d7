// The device's values as the device panel shows them, for every display of the device: the
// bootloader version with the variant letter, and the firmware version only for firmware
// whose checksums agree. A value the device did not report shows as unknown.
#pragma once

#include <optional>
#include <string>

#include "device/DeviceInfo.h"
#include "firmware/DeviceVariant.h"

namespace qor {

// How every display of the device shows a value that is not known.
inline constexpr const char* UnknownValue = "-- / --";

struct TDeviceSummary {
    // "1.3a"; no letter for a device of another variant or of unknown geometry; UnknownValue
    // when the device did not report its version.
    std::string BootloaderVersion;
    std::optional<TDeviceVariant> Variant; // none while its geometry is not known
    std::string VariantName;               // "a", "b", "other" or "unknown"
    bool ChecksumValid = false;
    // UTF-8; UnknownValue unless the checksums agree and the device reported its version.
    std::string FirmwareVersion;
    // What the device did not report ("its firmware version"); empty when it reported
    // everything.
    std::string Unreported;
};

TDeviceSummary SummariseDevice(const TDeviceInfo& info);

} // namespace qor
