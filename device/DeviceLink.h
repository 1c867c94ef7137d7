// The device port state: finds the device by its description among the bridges the port
// lists, opens it with the fixed serial settings and keeps the handle current on every tick.
#pragma once

#include <cstdint>
#include <string>

#include "device/FtPort.h"

namespace qor {

class TDeviceLink {
public:
    explicit TDeviceLink(IFtPort& port);

    // Searches the device list for the description; sets DeviceIndex (-1 when not found).
    bool FindDevice();
    // Opens the device at DeviceIndex into FtHandle and applies baud rate and time-outs.
    bool OpenDevice();
    // The port upkeep at the start of each monitor tick: search; close when gone, open when
    // found and not yet open. An open handle stays in use even if the index moved.
    void Upkeep();
    void SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs);

    IFtPort& Port() { return FPort; }
    // Why the device that was found could not be opened; empty when it is open or absent.
    std::string LastOpenError() const { return OpenError; }

    FT_HANDLE FtHandle = 0;
    std::int32_t DeviceIndex = -1;
    // Counts successful opens, so a caller can tell that the device went away and came back
    // (its handle may even be the same number).
    std::uint32_t OpenCount = 0;

private:
    IFtPort& FPort;
    std::string OpenError;
};

} // namespace qor
