#include "cli/DeviceChoice.h"

#include <algorithm>

#include "base/TextTable.h"
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

std::vector<TPortEntry> ChosenDevices(const TCliOptions& options, IDevicePort& port) {
    std::vector<TPortEntry> devices;
    const TPortChoice choice{options.Port.value_or(""), options.Serials};
    for (TPortEntry& entry : port.List()) {
        if (IsDevicePort(entry, choice)) {
            devices.push_back(std::move(entry));
        }
    }
    return devices;
}

std::vector<std::string> MissingSerials(const TCliOptions& options,
                                        const std::vector<TPortEntry>& devices) {
    std::vector<std::string> missing;
    for (const std::string& serial : options.Serials) {
        if (std::none_of(devices.begin(), devices.end(),
                         [&serial](const TPortEntry& entry) { return entry.Serial == serial; })) {
            missing.push_back(serial);
        }
    }
    return missing;
}

std::string WaitingText(const TCliOptions& options, const std::vector<TPortEntry>& devices,
                        std::uint8_t language) {
    std::string text =
        std::string(Txt(TxtNotConnected, language)) + " - waiting " + SecondsText(options.Wait);
    if (const auto missing = MissingSerials(options, devices); !missing.empty()) {
        text = "Waiting " + SecondsText(options.Wait) + " for the " + SerialNumbers(missing);
    }
    return text;
}

std::string MissingSerialsReason(const std::vector<std::string>& missing) {
    return std::string("no device with the description \"") + DeviceDescription + "\" and the " +
           SerialNumbers(missing);
}

} // namespace qor::cli
