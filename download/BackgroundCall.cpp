#include "download/BackgroundCall.h"

#include <condition_variable>
#include <mutex>

namespace qor {

// What the caller and the helper share; it outlives whichever of them goes first.
struct TBackgroundCall::TShared {
    std::mutex Mutex;
    std::condition_variable Changed;
    std::function<void()> Pending;
    bool Busy = false; // the helper is inside a call
    bool Done = false;
    bool Quit = false;

    void Serve() {
        std::unique_lock lock(Mutex);
        for (;;) {
            Changed.wait(lock, [this] { return Quit || Pending != nullptr; });
            if (Quit) {
                return; // a call not yet begun is not begun
            }
            std::function<void()> call = std::move(Pending);
            Pending = nullptr;
            Busy = true;
            lock.unlock();
            call();
            call = nullptr; // whatever the call owns goes before the caller hears of its end
            lock.lock();
            Busy = false;
            Done = true;
            Changed.notify_all();
        }
    }
};

TBackgroundCall::TBackgroundCall(std::chrono::milliseconds pumpInterval)
    : PumpInterval(pumpInterval), Shared(std::make_shared<TShared>()),
      Worker([shared = Shared] { shared->Serve(); }) {
}

TBackgroundCall::~TBackgroundCall() {
    bool busy = false;
    {
        const std::lock_guard lock(Shared->Mutex);
        Shared->Quit = true;
        busy = Shared->Busy;
    }
    Shared->Changed.notify_all();
    if (busy) {
        Worker.detach();
    } else {
        Worker.join();
    }
}

bool TBackgroundCall::Run(std::function<void()> call, const THttpWait& wait) {
    if (Abandoned) {
        return false;
    }
    std::unique_lock lock(Shared->Mutex);
    Shared->Pending = std::move(call);
    Shared->Done = false;
    Shared->Changed.notify_all();
    while (!Shared->Changed.wait_for(lock, PumpInterval, [this] { return Shared->Done; })) {
        // The helper may finish meanwhile; the lock is not held while the GUI runs.
        lock.unlock();
        if (wait.Pump) {
            wait.Pump();
        }
        const bool stop = wait.StopAsked && wait.StopAsked();
        lock.lock();
        if (stop && !Shared->Done) {
            Abandoned = true;
            return false;
        }
    }
    return true;
}

} // namespace qor
