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
    Begin(portName, wait);
    bool toldWaiting = false;
    for (;;) {
        if (Interrupted && Interrupted()) {
            return Fail(TConnectError{TConnectFault::Interrupted, {}});
        }
        if (auto outcome = Tick()) {
            return std::move(*outcome);
        }
        if (NoneFound && !toldWaiting && waiting) {
            waiting();
            toldWaiting = true;
        }
        Clock.Sleep(MonitorTickInterval);
    }
}

void TDeviceConnector::Begin(const std::optional<std::string>& portName, TMs wait) {
    if (portName) {
        DeviceMonitor.Link().ChoosePort(*portName);
    }
    Deadline = Clock.Now() + wait;
    Found = false;
    NoneFound = false;
}

std::optional<TResult<void, TConnectError>> TDeviceConnector::Tick() {
    const TDeviceStatus status = DeviceMonitor.Tick(false);
    if (DeviceMonitor.BootloaderReady()) {
        return TResult<void, TConnectError>();
    }
    const TMs now = Clock.Now();
    NoneFound = status.State == TDeviceState::NotFound;
    if (NoneFound) {
        if (now >= Deadline) {
            return Fail(TConnectError{TConnectFault::NotFound, {}});
        }
        return std::nullopt;
    }
    if (!Found) {
        Found = true;
        Deadline = std::max(Deadline, now + BootloaderGrace);
    }
    if (now >= Deadline) {
        if (!status.OpenError.empty()) {
            return Fail(TConnectError{TConnectFault::CannotOpen, status.OpenError});
        }
        // A bootloader that answered something is running: the reason is what went wrong.
        const auto& failure = DeviceMonitor.QueryFailure();
        return Fail(TConnectError{TConnectFault::Silent, failure && failure->Answered()
                                                             ? failure->Describe()
                                                             : std::string()});
    }
    return std::nullopt;
}

} // namespace qor::cli
