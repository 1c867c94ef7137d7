#include "cli/DeviceConnect.h"

#include <algorithm>

namespace qor::cli {

TDeviceConnector::TDeviceConnector(IDevicePort& port, IClock& clock,
                                   std::function<bool()> interrupted)
    : DeviceMonitor(port), Clock(clock), Interrupted(std::move(interrupted)) {
}

TResult<void, TConnectError> TDeviceConnector::Connect(const std::optional<std::string>& portName,
                                                       TMs wait,
                                                       const std::function<void()>& waiting) {
    if (portName) {
        DeviceMonitor.Link().ChoosePort(*portName);
    }
    const TMs start = Clock.Now();
    TMs deadline = start + wait;
    bool found = false;
    bool toldWaiting = false;
    for (;;) {
        if (Interrupted && Interrupted()) {
            return Fail(TConnectError{TConnectFault::Interrupted, {}});
        }
        const TDeviceStatus status = DeviceMonitor.Tick(false);
        if (DeviceMonitor.BootloaderReady()) {
            return {};
        }
        const TMs now = Clock.Now();
        if (status.State == TDeviceState::NotFound) {
            if (now >= deadline) {
                return Fail(TConnectError{TConnectFault::NotFound, {}});
            }
            if (!toldWaiting && waiting) {
                waiting();
                toldWaiting = true;
            }
        } else {
            if (!found) {
                found = true;
                deadline = std::max(deadline, now + BootloaderGrace);
            }
            if (now >= deadline) {
                if (!status.OpenError.empty()) {
                    return Fail(TConnectError{TConnectFault::CannotOpen, status.OpenError});
                }
                return Fail(TConnectError{TConnectFault::Silent, {}});
            }
        }
        Clock.Sleep(MonitorTickInterval);
    }
}

} // namespace qor::cli
