// The serial timer's tick: keeps the port current, asks the bootloader when needed and fills
// the device panel of the main window's display model.
#pragma once

#include <cstdint>

#include "app/MainState.h"
#include "device/Bootloader.h"
#include "device/DeviceLink.h"

namespace qor {

// Ticks between status image toggles, between full queries while the bootloader does not
// answer, and between keep-alive requests while it does.
inline constexpr std::int32_t BlinkReload = 10;
inline constexpr std::int32_t QueryReload = 3;
inline constexpr std::uint8_t PollReload = 10;
// Animation ticks per dot of "Connecting...".
inline constexpr std::uint32_t AnimTicksPerDot = 10;

// One tick, every 100 ms: port upkeep, then the Not found, Connecting or Connected branch.
// Texts are looked up in `language` each time. When the device is not found the loaded image
// is discarded; an update holding the bytes keeps them.
void SerialTimerTick(TMainState& state, TDeviceLink& link, TBootloader& boot,
                     std::uint8_t language);

} // namespace qor
