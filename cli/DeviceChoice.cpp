// Which devices a command takes: those with the device's description, on the port or with
// the serial numbers the options name, and what it says of those asked for and not there.
#include <algorithm>

#include "cli/CommandRun.h"
#include "cli/Format.h"
#include "device/DeviceLink.h"
#include "device/Protocol.h"

namespace qor::cli {
namespace {

// "serial number A1", "serial numbers A1, B2".
std::string SerialNumbers(const std::vector<std::string>& serials) {
    std::string text = serials.size() > 1 ? "serial numbers " : "serial number ";
    for (std::size_t i = 0; i < serials.size(); ++i) {
        text += (i == 0 ? "" : ", ") + serials[i];
    }
    return text;
}

} // namespace

std::vector<TPortEntry> TCommandRun::ChosenDevices() {
    std::vector<TPortEntry> devices;
    const TPortChoice choice{Options.Port.value_or(""), Options.Serials};
    for (TPortEntry& entry : Services.Port.List()) {
        if (IsDevicePort(entry, choice)) {
            devices.push_back(std::move(entry));
        }
    }
    return devices;
}

std::vector<std::string> TCommandRun::MissingSerials(const std::vector<TPortEntry>& devices) const {
    std::vector<std::string> missing;
    for (const std::string& serial : Options.Serials) {
        if (std::none_of(devices.begin(), devices.end(),
                         [&serial](const TPortEntry& entry) { return entry.Serial == serial; })) {
            missing.push_back(serial);
        }
    }
    return missing;
}

std::string TCommandRun::WaitingText(const std::vector<TPortEntry>& devices) {
    std::string text =
        std::string(Text(TxtNotConnected)) + " - waiting " + SecondsText(Options.Wait);
    if (const auto missing = MissingSerials(devices); !missing.empty()) {
        text = "Waiting " + SecondsText(Options.Wait) + " for the " + SerialNumbers(missing);
    }
    return text;
}

std::string TCommandRun::MissingSerialsReason(const std::vector<std::string>& missing) {
    return std::string("no device with the description \"") + DeviceDescription + "\" and the " +
           SerialNumbers(missing);
}

} // namespace qor::cli
