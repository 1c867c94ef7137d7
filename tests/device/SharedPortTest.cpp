// Workers sharing one port, each through its own view: a view opens the device of its own
// listing whatever other views listed meanwhile, and the port serves one call at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "device/SharedPort.h"

namespace qor {
namespace {

// Numbers its devices anew at every listing (the order turns by one), as a system may when a
// bridge comes or goes; opening a position opens the device that position had last time.
class TRenumberingPort : public IDevicePort {
public:
    explicit TRenumberingPort(std::vector<TPortEntry> devices) : Devices(std::move(devices)) {}

    std::vector<TPortEntry> List() override {
        const Inside inside(*this);
        if (!Devices.empty()) {
            std::rotate(Devices.begin(), Devices.begin() + 1, Devices.end());
        }
        Snapshot = Devices;
        return Snapshot;
    }
    TResult<std::unique_ptr<IPortConnection>> Open(std::size_t index, std::uint32_t) override {
        const Inside inside(*this);
        if (index >= Snapshot.size()) {
            return Fail(TError{"no such position"});
        }
        Opened.push_back(Snapshot[index].Name + "|" + Snapshot[index].Description);
        return std::unique_ptr<IPortConnection>();
    }

    std::vector<TPortEntry> Devices;
    std::vector<std::string> Opened;
    std::atomic<int> Callers{0};
    std::atomic<bool> Overlapped{false};

private:
    // Notes a call that began while another was still inside.
    struct Inside {
        explicit Inside(TRenumberingPort& port) : Port(port) {
            if (++Port.Callers > 1) {
                Port.Overlapped = true;
            }
            std::this_thread::yield();
        }
        ~Inside() { --Port.Callers; }
        Inside(const Inside&) = delete;
        Inside& operator=(const Inside&) = delete;
        TRenumberingPort& Port;
    };

    std::vector<TPortEntry> Snapshot;
};

TEST(SharedPort, AViewOpensTheDeviceOfItsOwnListingWhateverOthersListedSince) {
    // The third and fourth share a name, as bridges without a serial number do.
    TRenumberingPort port({{"A1", "QOR 7316"},
                           {"B2", "QOR 7316"},
                           {"", "QOR 7316"},
                           {"", "QOR 7316"},
                           {"C3", "FT232R USB UART"}});
    TSharedPort shared(port);
    const auto mine = shared.View();
    const auto other = shared.View();
    for (std::size_t index = 0; index < 5; ++index) {
        const std::vector<TPortEntry> listed = mine->List();
        other->List();
        ASSERT_TRUE(mine->Open(index, 500000).Ok()) << index;
        EXPECT_EQ(port.Opened.back(), listed[index].Name + "|" + listed[index].Description);
    }
    // The two nameless ones: each its own, in the order of the view's listing.
    EXPECT_EQ(std::count(port.Opened.begin(), port.Opened.end(), "|QOR 7316"), 2);

    // A device that left between the view's listing and its opening is not replaced by another.
    mine->List();
    port.Devices.erase(port.Devices.begin());
    const auto gone = mine->Open(0, 500000);
    ASSERT_FALSE(gone.Ok());
    EXPECT_NE(gone.Error().Reason.find("is gone"), std::string::npos);
    EXPECT_FALSE(mine->Open(9, 500000).Ok());
}

TEST(SharedPort, WorkersListAndOpenOneAtATime) {
    TRenumberingPort port({{"A1", "QOR 7316"}, {"B2", "QOR 7316"}, {"C3", "QOR 7316"}});
    TSharedPort shared(port);
    constexpr int Workers = 4;
    std::vector<std::thread> workers;
    workers.reserve(Workers);
    for (int worker = 0; worker < Workers; ++worker) {
        workers.emplace_back([&shared] {
            const auto view = shared.View();
            for (int round = 0; round < 200; ++round) {
                view->List();
                (void)view->Open(static_cast<std::size_t>(round % 3), 500000);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_FALSE(port.Overlapped);
    EXPECT_EQ(port.Opened.size(), 800u);
}

} // namespace
} // namespace qor
