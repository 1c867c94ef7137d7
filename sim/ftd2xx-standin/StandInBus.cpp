#include "StandInBus.h"

#include <windows.h>

#include <memory>
#include <vector>

namespace qor::standin {
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

std::string Environment(const char* name, const char* fallback) {
    const DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) {
        return fallback;
    }
    std::string value(size, '\0');
    const DWORD length = ::GetEnvironmentVariableA(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

} // namespace

bool LayOut(TVirtualBus& bus, const std::string& layout) {
    for (const std::string& entry : Split(layout, EntrySeparator)) {
        if (entry.empty()) {
            continue;
        }
        const std::size_t cut = entry.rfind(ModeSeparator);
        const std::string description = entry.substr(0, cut);
        const std::string mode = cut == std::string::npos ? "a" : entry.substr(cut + 1);
        if (mode == "a" || mode == "app") {
            TVirtualDevice& device = bus.AddDevice(description, TBootloaderConfig::VariantA());
            if (mode == "app") {
                device.SwitchOn(TDeviceMode::Application);
            }
        } else if (mode == "b") {
            bus.AddDevice(description, TBootloaderConfig::VariantB());
        } else {
            return false;
        }
    }
    return true;
}

TVirtualBus& Bus() {
    static const std::unique_ptr<TVirtualBus> bus = [] {
        auto made = std::make_unique<TVirtualBus>();
        // The bridge's timer as the library finds it: 16 ms until the caller sets it.
        made->SetBridgeLatency(true, TVirtualBus::DefaultLatencyMs, false);
        LayOut(*made, Environment(DevicesVariable, DefaultDevices));
        return made;
    }();
    return *bus;
}

} // namespace qor::standin
