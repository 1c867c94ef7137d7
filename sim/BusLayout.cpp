#include "sim/BusLayout.h"

#include <string_view>

namespace qor {
namespace {

constexpr char EntrySeparator = ';';
constexpr char SettingSeparator = '|';

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

} // namespace

TResult<std::vector<TDeviceLayout>> ParseBusLayout(const std::string& layout) {
    constexpr std::string_view SerialSetting = "serial=";
    std::vector<TDeviceLayout> devices;
    for (const std::string& entry : Split(layout, EntrySeparator)) {
        if (entry.empty()) {
            continue;
        }
        std::vector<std::string> parts = Split(entry, SettingSeparator);
        TDeviceLayout device;
        device.Description = parts.front();
        device.Config = TBootloaderConfig::VariantA();
        for (std::size_t i = 1; i < parts.size(); ++i) {
            const std::string& setting = parts[i];
            if (setting == "a" || setting == "app") {
                device.Config = TBootloaderConfig::VariantA();
                device.ApplicationRuns = setting == "app";
            } else if (setting == "b") {
                device.Config = TBootloaderConfig::VariantB();
            } else if (setting.starts_with(SerialSetting)) {
                device.Serial = setting.substr(SerialSetting.size());
            } else {
                return Fail(TError{"the device \"" + entry +
                                   "\" has a setting other than a, b, app or serial=TEXT"});
            }
        }
        devices.push_back(std::move(device));
    }
    return devices;
}

TResult<void> LayOutBus(TVirtualBus& bus, const std::string& layout) {
    const auto devices = ParseBusLayout(layout);
    if (!devices) {
        return Fail(devices.Error());
    }
    for (const TDeviceLayout& device : *devices) {
        TVirtualDevice& added = bus.AddDevice(device.Description, device.Config);
        if (device.ApplicationRuns) {
            added.SwitchOn(TDeviceMode::Application);
        }
        if (device.Serial) {
            added.SerialNumber = *device.Serial;
        }
    }
    return {};
}

} // namespace qor
