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
    // A sleep is no measure of time: the MinGW runtime under Wine ends one of less than a
    // millisecond at once, Windows ends it at its next timer tick. Only the clock says when the
    // moment has come.
    for (std::uint64_t now = NowUs(); now < us; now = NowUs()) {
        std::this_thread::sleep_for(std::chrono::microseconds(us - now));
    }
}

} // namespace qor
