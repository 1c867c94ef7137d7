// Finding the device and waiting for its bootloader: the connection monitor ticked every
// 100 ms, as the window's serial timer ticks it, until the full query has succeeded.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/Result.h"
#include "cli/Clock.h"
#include "device/ConnectionMonitor.h"
#include "device/DevicePort.h"

namespace qor::cli {

// The window's serial timer period.
inline constexpr TMs MonitorTickInterval{100};
// Once the device is listed, how long its bootloader has to answer, also beyond --wait: the
// first full query comes on the fourth tick, then one every third.
inline constexpr TMs BootloaderGrace{2000};

enum class TConnectFault {
    NotFound,    // no device with the description (on the chosen port)
    CannotOpen,  // listed, but its port cannot be opened
    Silent,      // listed and open, but its bootloader does not connect
    Interrupted, // the user stopped the wait
};

struct TConnectError {
    TConnectFault Fault = TConnectFault::NotFound;
    // The port's reason when it cannot be opened; what failed when a bootloader that answered
    // still did not connect.
    std::string Detail;
};

class TDeviceConnector {
public:
    TDeviceConnector(IDevicePort& port, IClock& clock, std::function<bool()> interrupted);

    // Ticks until the bootloader has answered, for at most `wait` while no device is listed
    // (at least one tick), and BootloaderGrace more once it is. `waiting` is called once when
    // the first tick found no device and there is time left to wait.
    TResult<void, TConnectError> Connect(const std::optional<std::string>& portName, TMs wait,
                                         const std::function<void()>& waiting);

    // The same wait a tick at a time, for several devices ticked in turn by one caller, who
    // sleeps MonitorTickInterval between two rounds and watches for a stop itself. Begin starts
    // it; each Tick returns the outcome once there is one.
    void Begin(const std::optional<std::string>& portName, TMs wait);
    std::optional<TResult<void, TConnectError>> Tick();
    // Whether the last tick found no device.
    bool Absent() const { return NoneFound; }

    TConnectionMonitor& Monitor() { return DeviceMonitor; }

private:
    TConnectionMonitor DeviceMonitor;
    IClock& Clock;
    std::function<bool()> Interrupted;
    TMs Deadline{0};
    bool Found = false;
    bool NoneFound = false;
};

} // namespace qor::cli
