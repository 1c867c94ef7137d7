// One device port served by several workers at once, each writing its own device on a thread
// of its own. A link lists the port and then opens a position of that listing: two calls, and
// another worker's listing between them may number the port's devices anew, so that the
// position names another device. Each worker therefore gets a view of its own: the port is
// held for one listing or one opening at a time, and a view opens its entry by finding it
// again, by name and description, in a listing of that moment.
#pragma once

#include <memory>
#include <mutex>

#include "device/DevicePort.h"

namespace qor {

class TSharedPort {
public:
    explicit TSharedPort(IDevicePort& port) : Port(port) {}
    TSharedPort(const TSharedPort&) = delete;
    TSharedPort& operator=(const TSharedPort&) = delete;

    // A view for one worker; it must not outlive the shared port. Its connections are the
    // port's own and are used by their worker alone.
    std::unique_ptr<IDevicePort> View();

private:
    friend class TPortView;

    IDevicePort& Port;
    std::mutex Lock;
};

} // namespace qor
