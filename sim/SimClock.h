// Time for the virtual bus. Tests and benchmarks use the virtual clock, which only moves when
// the bus waits, so time-outs and wire time cost no real time; the demo uses the steady clock.
#pragma once

#include <atomic>
#include <cstdint>

namespace qor {

class ISimClock {
public:
    virtual ~ISimClock() = default;
    virtual std::uint64_t NowUs() const = 0;
    // Returns once `us` has come, never before; at once when it has passed.
    virtual void WaitUntilUs(std::uint64_t us) = 0;
};

// Several threads may wait on it: time moves to the latest moment any of them waits for.
class TVirtualClock : public ISimClock {
public:
    std::uint64_t NowUs() const override { return Now.load(); }
    void WaitUntilUs(std::uint64_t us) override {
        std::uint64_t now = Now.load();
        while (us > now && !Now.compare_exchange_weak(now, us)) {
        }
    }
    void AdvanceUs(std::uint64_t us) { Now += us; }

private:
    std::atomic<std::uint64_t> Now{0};
};

class TSteadyClock : public ISimClock {
public:
    TSteadyClock();
    std::uint64_t NowUs() const override;
    void WaitUntilUs(std::uint64_t us) override;

private:
    std::int64_t StartNs;
};

} // namespace qor
