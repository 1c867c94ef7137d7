// Runs one blocking system call at a time on a thread of its own while the caller's thread
// keeps pumping its events, so a call that waits for the network never holds the GUI. When the
// caller asks to stop, it stops waiting at once: the call runs on to its own end on the
// helper thread, which then ends by itself.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "download/HttpSession.h"

namespace qor {

class TBackgroundCall {
public:
    explicit TBackgroundCall(std::chrono::milliseconds pumpInterval);
    // Joins an idle helper; a helper still inside an abandoned call is left to finish it.
    ~TBackgroundCall();
    TBackgroundCall(const TBackgroundCall&) = delete;
    TBackgroundCall& operator=(const TBackgroundCall&) = delete;

    // Runs `call` on the helper thread, running the pump every pumpInterval meanwhile, and
    // returns true once it has returned. Returns false as soon as the caller asks to stop
    // (checked after each pump); the call then goes on without a waiter, so it must own or
    // share everything it touches, and no further call is run.
    bool Run(std::function<void()> call, const THttpWait& wait);

private:
    struct TShared;

    std::chrono::milliseconds PumpInterval;
    std::shared_ptr<TShared> Shared;
    bool Abandoned = false;
    std::thread Worker; // last: starts once the members above are ready
};

} // namespace qor
