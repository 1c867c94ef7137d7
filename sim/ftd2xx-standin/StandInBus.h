// The virtual bus behind the stand-in D2XX library, laid out from the environment when the
// library is first called: QOR_STANDIN_DEVICES in the grammar of sim/BusLayout.h. Without the
// variable the bus holds one "QOR 7316" of variant a. With QOR_STANDIN_WIRE_TIMING set the
// bytes take their time on the line as the demo's do, so a run lasts as long as with a device;
// without it no time passes.
#pragma once

#include <string>

#include "sim/VirtualBus.h"

namespace qor::standin {

inline constexpr const char* DevicesVariable = "QOR_STANDIN_DEVICES";
inline constexpr const char* DefaultDevices = "QOR 7316|a";
inline constexpr const char* WireTimingVariable = "QOR_STANDIN_WIRE_TIMING";
inline constexpr std::uint32_t WireTurnaroundUs = 10000;

// The library's one bus, made on first use.
TVirtualBus& Bus();

} // namespace qor::standin
