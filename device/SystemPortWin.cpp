#include "device/D2xxPort.h"
#include "device/SystemPort.h"

namespace qor {

std::unique_ptr<IDevicePort> CreateSystemPort() {
    return std::make_unique<TD2xxPort>();
}

} // namespace qor
