// The virtual bus behind the stand-in D2XX library, laid out from the environment when the
// library is first called: QOR_STANDIN_DEVICES lists the devices in bus order, separated by
// ';', each a USB description optionally followed by '|' and a mode: "a" or "b" (bootloader
// of that variant, "a" when left out) or "app" (the application runs: listed, silent).
// Without the variable the bus holds one "QOR 7316" of variant a.
#pragma once

#include <string>

#include "sim/VirtualBus.h"

namespace qor::standin {

inline constexpr const char* DevicesVariable = "QOR_STANDIN_DEVICES";
inline constexpr const char* DefaultDevices = "QOR 7316|a";

// Adds the devices `layout` describes; false for an entry it does not understand.
bool LayOut(TVirtualBus& bus, const std::string& layout);

// The library's one bus, made on first use.
TVirtualBus& Bus();

} // namespace qor::standin
