// Time for the command line's waits: the device search ticks every 100 ms as the window's
// serial timer does. Tests give it a clock of their own, so nothing waits in real time.
#pragma once

#include <chrono>
#include <memory>

namespace qor::cli {

using TMs = std::chrono::milliseconds;

class IClock {
public:
    virtual ~IClock() = default;
    // Monotonic time since some fixed start.
    virtual TMs Now() = 0;
    virtual void Sleep(TMs duration) = 0;
};

std::unique_ptr<IClock> MakeSteadyClock();

} // namespace qor::cli
