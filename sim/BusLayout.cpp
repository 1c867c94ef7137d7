#include "sim/BusLayout.h"

namespace qor {
namespace {

constexpr char EntrySeparator = ';';
constexpr char ModeSeparator = '|';

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
    std::vector<TDeviceLayout> devices;
    for (const std::string& entry : Split(layout, EntrySeparator)) {
        if (entry.empty()) {
            continue;
        }
        const std::size_t cut = entry.rfind(ModeSeparator);
        TDeviceLayout device;
        device.Description = entry.substr(0, cut);
        const std::string mode = cut == std::string::npos ? "a" : entry.substr(cut + 1);
        if (mode == "a" || mode == "app") {
            device.Config = TBootloaderConfig::VariantA();
            device.ApplicationRuns = mode == "app";
        } else if (mode == "b") {
            device.Config = TBootloaderConfig::VariantB();
        } else {
            return Fail(TError{"the device \"" + entry + "\" has a mode other than a, b or app"});
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
    }
    return {};
}

} // namespace qor
