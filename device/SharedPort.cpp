#include "device/SharedPort.h"

#include <vector>

namespace qor {

class TPortView : public IDevicePort {
public:
    explicit TPortView(TSharedPort& shared) : Shared(shared) {}

    std::vector<TPortEntry> List() override {
        const std::lock_guard<std::mutex> hold(Shared.Lock);
        Listed = Shared.Port.List();
        return Listed;
    }

    TResult<std::unique_ptr<IPortConnection>> Open(std::size_t index, std::uint32_t baud) override {
        const std::lock_guard<std::mutex> hold(Shared.Lock);
        if (index >= Listed.size()) {
            return Fail(TError{"No device at list position " + std::to_string(index) + "."});
        }
        const TPortEntry& wanted = Listed[index];
        // Two bridges may share a name (a serial number left blank): the n-th of that name.
        const auto same = [&wanted](const TPortEntry& entry) {
            return entry.Name == wanted.Name && entry.Description == wanted.Description &&
                   entry.Serial == wanted.Serial;
        };
        std::size_t before = 0;
        for (std::size_t i = 0; i < index; ++i) {
            if (same(Listed[i])) {
                ++before;
            }
        }
        const std::vector<TPortEntry> now = Shared.Port.List();
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (same(now[i])) {
                if (before == 0) {
                    return Shared.Port.Open(i, baud);
                }
                --before;
            }
        }
        return Fail(TError{"The device on " + wanted.Name + " is gone."});
    }

    std::vector<std::string> Facts() override {
        const std::lock_guard<std::mutex> hold(Shared.Lock);
        return Shared.Port.Facts();
    }

    std::string Unavailable() override {
        const std::lock_guard<std::mutex> hold(Shared.Lock);
        return Shared.Port.Unavailable();
    }

private:
    TSharedPort& Shared;
    std::vector<TPortEntry> Listed; // this view's last listing, which its positions refer to
};

std::unique_ptr<IDevicePort> TSharedPort::View() {
    return std::make_unique<TPortView>(*this);
}

} // namespace qor
