#include "device/SystemPort.h"
#include "device/TtyPort.h"

namespace qor {

std::unique_ptr<IDevicePort> CreateSystemPort() {
    return std::make_unique<TTtyPort>();
}

} // namespace qor
