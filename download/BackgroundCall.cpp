#include "download/BackgroundCall.h"

namespace qor {

TBackgroundCall::TBackgroundCall(std::chrono::milliseconds pumpInterval)
    : PumpInterval(pumpInterval), Worker([this] { Serve(); }) {
}

TBackgroundCall::~TBackgroundCall() {
    {
        const std::lock_guard lock(Mutex);
        Quit = true;
    }
    Changed.notify_all();
    Worker.join();
}

void TBackgroundCall::Run(const std::function<void()>& call, const TPump& pump) {
    std::unique_lock lock(Mutex);
    Pending = &call;
    Done = false;
    Changed.notify_all();
    while (!Changed.wait_for(lock, PumpInterval, [this] { return Done; })) {
        if (pump) {
            // The helper may finish meanwhile; the lock is not held while the GUI runs.
            lock.unlock();
            pump();
            lock.lock();
        }
    }
}

void TBackgroundCall::Serve() {
    std::unique_lock lock(Mutex);
    for (;;) {
        Changed.wait(lock, [this] { return Quit || Pending != nullptr; });
        if (Quit) {
            return;
        }
        const std::function<void()>* call = Pending;
        Pending = nullptr;
        lock.unlock();
        (*call)();
        lock.lock();
        Done = true;
        Changed.notify_all();
    }
}

} // namespace qor
