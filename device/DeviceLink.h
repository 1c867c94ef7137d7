// The port state: finds the device by its description among the bridges the port lists,
// opens it with the fixed serial settings and keeps the connection current on every tick.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "device/DevicePort.h"

namespace qor {

// Which of the bridges with the device's description may be used: the one on a port of this
// name, those with one of these serial numbers, or (neither chosen) any.
struct TPortChoice {
    std::string Name;
    std::vector<std::string> Serials;
};

// Whether a listed port is the device: its bridge's description, and the choice.
bool IsDevicePort(const TPortEntry& entry, const TPortChoice& choice = {});

class TDeviceLink {
public:
    explicit TDeviceLink(IDevicePort& port);

    // Searches the list for the description (and the chosen port's name, when one was
    // chosen); DeviceIndex is -1 when not found.
    bool FindDevice();
    // Opens the device at DeviceIndex and puts the first time-outs in force.
    TResult<void> OpenDevice();
    // The upkeep at the start of each monitor tick: search; close when gone, open when found
    // and not yet open. An open connection stays in use even if the index moved. Fails with
    // why a device that was found could not be opened.
    TResult<void> Upkeep();

    // The open connection; nullptr when none is open. An exchange that lets events run holds
    // it shared, so that a monitor tick closing it meanwhile cannot pull it from under it.
    IPortConnection* Connection() const { return Open.get(); }
    std::shared_ptr<IPortConnection> SharedConnection() const { return Open; }
    std::int32_t DeviceIndex() const { return Index; }
    // Counts successful opens, so a caller can tell that the device went away and came back.
    std::uint32_t OpenCount() const { return Opens; }
    // The system's name of the port last found ("ttyUSB0"), and its bridge's serial number
    // (empty for none).
    const std::string& PortName() const { return Name; }
    const std::string& PortSerial() const { return Serial; }

    // Only a port of this name counts as the device; empty: the first with the description.
    void ChoosePort(std::string name) { Chosen = TPortChoice{std::move(name), {}}; }
    // Only a bridge with one of these serial numbers counts, on whichever port it is now.
    void ChooseSerials(std::vector<std::string> serials) {
        Chosen = TPortChoice{{}, std::move(serials)};
    }

    // The time-outs in force, as each phase sets them; the exchanges use them.
    void SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs);
    TMilliseconds ReadTimeout() const { return Read; }
    TMilliseconds WriteTimeout() const { return Write; }

private:
    IDevicePort& Port;
    std::shared_ptr<IPortConnection> Open;
    std::int32_t Index = -1;
    std::uint32_t Opens = 0;
    std::string Name;
    std::string Serial;
    TPortChoice Chosen;
    TMilliseconds Read{0};
    TMilliseconds Write{0};
};

} // namespace qor
