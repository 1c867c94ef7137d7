#include "sim/SimClock.h"

#include <chrono>
#include <thread>

namespace qor {
namespace {

std::int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

TSteadyClock::TSteadyClock() : StartNs(SteadyNs()) {
}

std::uint64_t TSteadyClock::NowUs() const {
    return static_cast<std::uint64_t>((SteadyNs() - StartNs) / 1000);
}

void TSteadyClock::WaitUntilUs(std::uint64_t us) {
    const std::uint64_t now = NowUs();
    if (us > now) {
        std::this_thread::sleep_for(std::chrono::microseconds(us - now));
    }
}

} // namespace qor
