#include "sim/demo/DemoRig.h"

namespace qor {

// The demo's firmware server speaks POSIX sockets; on Windows there is none yet, and the
// download fails as it does against an unreachable server.
class TDemoHttp {};

void TDemoHttpDeleter::operator()(TDemoHttp* http) const {
    std::default_delete<TDemoHttp>{}(http);
}

std::optional<std::string> TDemoRig::StartServer() {
    return "the demo has no firmware server on Windows";
}

bool TDemoRig::ServerRunning() const {
    return false;
}

std::uint16_t TDemoRig::ServerPort() const {
    return 0;
}

std::vector<TServedRequest> TDemoRig::TakeServedRequests() {
    return {};
}

} // namespace qor
