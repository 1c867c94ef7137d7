// Runs one blocking system call at a time on a thread of its own while the caller's thread
// keeps pumping its events, so a call that waits for the network never holds the GUI.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "download/HttpSession.h"

namespace qor {

class TBackgroundCall {
public:
    explicit TBackgroundCall(std::chrono::milliseconds pumpInterval);
    ~TBackgroundCall();
    TBackgroundCall(const TBackgroundCall&) = delete;
    TBackgroundCall& operator=(const TBackgroundCall&) = delete;

    // Runs `call` on the helper thread and returns once it has returned, calling `pump` every
    // pumpInterval meanwhile. The pump must not start another call on the same object.
    void Run(const std::function<void()>& call, const TPump& pump);

private:
    void Serve();

    std::chrono::milliseconds PumpInterval;
    std::mutex Mutex;
    std::condition_variable Changed;
    const std::function<void()>* Pending = nullptr;
    bool Done = false;
    bool Quit = false;
    std::thread Worker; // last: starts once the members above are ready
};

} // namespace qor
