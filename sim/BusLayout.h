// A bus of virtual devices described in one line of text, as the test programs and the
// stand-in D2XX library take it from their environment: the devices in bus order, separated
// by ';', each a USB description optionally followed by settings, each after a '|': a mode,
// "a" or "b" (the bootloader of that variant answers; "a" when left out) or "app" (the
// application runs: listed, silent), and "serial=TEXT", the bridge's serial number in place of
// the bus's own (empty: a bridge without one).
#pragma once

#include <string>
#include <vector>

#include "base/Result.h"
#include "sim/BootloaderEmulator.h"
#include "sim/VirtualBus.h"

namespace qor {

struct TDeviceLayout {
    std::string Description;
    TBootloaderConfig Config;
    bool ApplicationRuns = false;
    std::optional<std::string> Serial; // none: the bus gives one
};

// The devices `layout` describes; fails at an entry it does not understand.
TResult<std::vector<TDeviceLayout>> ParseBusLayout(const std::string& layout);

// Adds the devices `layout` describes to the bus; fails (and adds nothing) at an entry it does
// not understand.
TResult<void> LayOutBus(TVirtualBus& bus, const std::string& layout);

} // namespace qor
