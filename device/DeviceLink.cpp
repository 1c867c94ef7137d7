#include "device/DeviceLink.h"

#include <algorithm>

#include "device/Protocol.h"

namespace qor {

bool IsDevicePort(const TPortEntry& entry, const TPortChoice& choice) {
    return entry.Description == DeviceDescription &&
           (choice.Name.empty() || entry.Name == choice.Name) &&
           (choice.Serials.empty() || std::find(choice.Serials.begin(), choice.Serials.end(),
                                                entry.Serial) != choice.Serials.end());
}

TDeviceLink::TDeviceLink(IDevicePort& port) : Port(port) {
}

bool TDeviceLink::FindDevice() {
    const std::vector<TPortEntry> ports = Port.List();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (IsDevicePort(ports[i], Chosen)) {
            Index = static_cast<std::int32_t>(i);
            Name = ports[i].Name;
            Serial = ports[i].Serial;
            return true;
        }
    }
    Index = -1;
    return false;
}

TResult<void> TDeviceLink::OpenDevice() {
    if (Index == -1) {
        return Fail(TError{"no device to open"});
    }
    auto opened = Port.Open(static_cast<std::size_t>(Index), DeviceBaudRate);
    if (!opened) {
        return Fail(opened.Error());
    }
    Open = std::move(opened.Value());
    ++Opens;
    SetTimeouts(OpenReadTimeoutMs, WriteTimeoutMs);
    return {};
}

TResult<void> TDeviceLink::Upkeep() {
    if (!FindDevice()) {
        Open.reset();
        return {};
    }
    if (!Open) {
        return OpenDevice();
    }
    return {};
}

void TDeviceLink::SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    Read = TMilliseconds(readMs);
    Write = TMilliseconds(writeMs);
}

} // namespace qor
