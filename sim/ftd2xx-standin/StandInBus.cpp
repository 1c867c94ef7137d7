#include "StandInBus.h"

#include <windows.h>

#include <memory>

#include "sim/BusLayout.h"

namespace qor::standin {
namespace {

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

TVirtualBus& Bus() {
    static const std::unique_ptr<TVirtualBus> bus = [] {
        auto made = std::make_unique<TVirtualBus>();
        // The bridge's timer as the library finds it: 16 ms until the caller sets it.
        made->SetBridgeLatency(true, TVirtualBus::DefaultLatencyMs, false);
        LayOutBus(*made, Environment(DevicesVariable, DefaultDevices));
        return made;
    }();
    return *bus;
}

} // namespace qor::standin
