// The device panel and the status line, as the serial timer's tick shows the connection
// monitor's verdict.
#pragma once

#include <cstdint>

#include "device/ConnectionMonitor.h"
#include "presenter/MainModel.h"

namespace qor {

// Not found: the panel's values unknown, Update and Power off disabled, the loaded image
// discarded, the not-connected picture blinking. Connecting: the status with dots, the
// search picture blinking. Connected: the bootloader version with the variant letter, the
// firmware version and the checksum state; DeviceVariant from the device's geometry.
void ShowDeviceStatus(TMainModel& model, const TDeviceStatus& status, std::uint8_t language);

} // namespace qor
