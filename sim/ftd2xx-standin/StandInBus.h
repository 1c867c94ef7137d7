// The virtual bus behind the stand-in D2XX library, laid out from the environment when the
// library is first called: QOR_STANDIN_DEVICES in the grammar of sim/BusLayout.h. Without the
// variable the bus holds one "QOR 7316" of variant a.
#pragma once

#include <string>

#include "sim/VirtualBus.h"

namespace qor::standin {

inline constexpr const char* DevicesVariable = "QOR_STANDIN_DEVICES";
inline constexpr const char* DefaultDevices = "QOR 7316|a";

// The library's one bus, made on first use.
TVirtualBus& Bus();

} // namespace qor::standin
