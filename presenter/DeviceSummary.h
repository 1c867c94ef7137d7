// The device's values as the device panel shows them, for every display of the device: the
// bootloader version with the variant letter, and the firmware version only for firmware
// whose checksums agree.
#pragma once

#include <optional>
#include <string>

#include "device/DeviceInfo.h"
#include "firmware/DeviceVariant.h"

namespace qor {

struct TDeviceSummary {
    std::string BootloaderVersion; // "1.3a"; no letter for a device of another variant
    TDeviceVariant Variant;
    bool ChecksumValid = false;
    // UTF-8; UnknownValue unless the checksums agree.
    std::string FirmwareVersion;
};

TDeviceSummary SummariseDevice(const TDeviceInfo& info);

} // namespace qor
