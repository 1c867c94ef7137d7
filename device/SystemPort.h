// The device port of the operating system the program runs on.
#pragma once

#include <memory>

#include "device/DevicePort.h"

namespace qor {

std::unique_ptr<IDevicePort> CreateSystemPort();

} // namespace qor
