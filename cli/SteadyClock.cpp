#include <thread>

#include "cli/Clock.h"

namespace qor::cli {
namespace {

class TSteadyClock : public IClock {
public:
    TMs Now() override {
        return std::chrono::duration_cast<TMs>(std::chrono::steady_clock::now().time_since_epoch());
    }
    void Sleep(TMs duration) override { std::this_thread::sleep_for(duration); }
};

} // namespace

std::unique_ptr<IClock> MakeSteadyClock() {
    return std::make_unique<TSteadyClock>();
}

} // namespace qor::cli
