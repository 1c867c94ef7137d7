#include "StandInBus.h"

#include <memory>

#include "platform/ProgramInput.h"
#include "sim/BusLayout.h"

namespace qor::standin {

TVirtualBus& Bus() {
    static const std::unique_ptr<TVirtualBus> bus = [] {
        const bool wireTiming = EnvironmentValue(WireTimingVariable).has_value();
        auto made = wireTiming ? std::make_unique<TVirtualBus>(std::make_unique<TSteadyClock>())
                               : std::make_unique<TVirtualBus>();
        made->SetWireTiming(wireTiming, WireTurnaroundUs);
        // The bridge's timer as the library finds it: 16 ms until the caller sets it.
        made->SetBridgeLatency(true, TVirtualBus::DefaultLatencyMs, false);
        // The library's calls have no way to say why: a layout it does not understand leaves
        // the bus empty, and it lists no device.
        static_cast<void>(
            LayOutBus(*made, EnvironmentValue(DevicesVariable).value_or(DefaultDevices)));
        return made;
    }();
    return *bus;
}

} // namespace qor::standin
