#include "sim/VirtualBus.h"

#include <algorithm>
#include <type_traits>
#include <utility>

#include "device/Protocol.h"

namespace qor {
namespace {

constexpr std::uint64_t BitsPerByte = 10; // start, 8 data, stop

TPortIo Gone() {
    TPortIo io;
    io.Status = TPortStatus::Gone;
    io.Detail = "the device left the bus";
    return io;
}

} // namespace

// One open device; closing it frees the device for the next open.
class TVirtualConnection : public IPortConnection {
public:
    TVirtualConnection(TVirtualBus& bus, TVirtualDevice& device, std::uint32_t baud,
                       std::uint32_t latencyMs)
        : Bus(bus) {
        Line.Device = &device;
        Line.Epoch = device.Epoch();
        Line.Baud = baud;
        Line.LatencyMs = latencyMs;
        Bus.Live.push_back(&Line); // made under the bus's lock, by Open
    }
    ~TVirtualConnection() override {
        const std::lock_guard<std::mutex> hold(Bus.Lock);
        std::erase(Bus.Live, &Line);
    }
    TVirtualConnection(const TVirtualConnection&) = delete;
    TVirtualConnection& operator=(const TVirtualConnection&) = delete;

    TPortIo Write(std::span<const std::uint8_t> bytes, TMilliseconds /*timeout*/) override {
        return Bus.Write(Line, bytes);
    }
    TPortIo Read(std::span<std::uint8_t> bytes, TMilliseconds timeout) override {
        return Bus.Read(Line, bytes, timeout);
    }
    TPortIo Purge() override { return Bus.Purge(Line); }

    TVirtualBus& Bus;
    TVirtualBus::TLine Line;
};

TVirtualBus::TVirtualBus() : TVirtualBus(std::make_unique<TVirtualClock>()) {
}

TVirtualBus::TVirtualBus(std::unique_ptr<ISimClock> clock) : SimClock(std::move(clock)) {
}

TVirtualBus::~TVirtualBus() = default;

TVirtualDevice& TVirtualBus::AddDevice(std::string description, const TBootloaderConfig& config) {
    const std::lock_guard<std::mutex> hold(Lock);
    Devices.push_back(std::make_unique<TVirtualDevice>(std::move(description), config));
    Devices.back()->SerialNumber = VirtualSerial(Devices.size() - 1);
    return *Devices.back();
}

std::string TVirtualBus::VirtualSerial(std::size_t place) {
    const std::string number = std::to_string(place);
    return "VQ7316" + std::string(number.size() < 2 ? 2 - number.size() : 0, '0') + number;
}

void TVirtualBus::SetWireTiming(bool on, std::uint32_t turnaroundUs) {
    const std::lock_guard<std::mutex> hold(Lock);
    WireTiming = on;
    TurnaroundUs = turnaroundUs;
}

std::uint64_t TVirtualBus::ByteUs() const {
    return WireTiming ? BitsPerByte * 1000000 / DeviceBaudRate : 0;
}

std::uint64_t TVirtualBus::ArrivalUs(const TBurst& burst, std::size_t index) const {
    return burst.StartUs + (index + 1) * ByteUs();
}

void TVirtualBus::SetBridgeLatency(bool on, std::uint32_t defaultMs, bool portSetsLow) {
    const std::lock_guard<std::mutex> hold(Lock);
    LatencyModelled = on;
    LatencyDefaultMs = defaultMs;
    PortSetsLowLatency = portSetsLow;
}

namespace {

template <typename TConnection> auto* OfBus(TConnection& connection, const TVirtualBus& bus) {
    using TOurs = std::conditional_t<std::is_const_v<TConnection>, const TVirtualConnection,
                                     TVirtualConnection>;
    auto* ours = dynamic_cast<TOurs*>(&connection);
    return ours != nullptr && &ours->Bus == &bus ? ours : nullptr;
}

} // namespace

bool TVirtualBus::SetLatencyTimer(IPortConnection& connection, std::uint32_t ms) {
    const std::lock_guard<std::mutex> hold(Lock);
    auto* ours = OfBus(connection, *this);
    if (ours == nullptr || ms == 0) {
        return false;
    }
    if (LatencyModelled) {
        ours->Line.LatencyMs = ms;
    }
    return true;
}

std::uint32_t TVirtualBus::LatencyTimer(const IPortConnection& connection) const {
    const std::lock_guard<std::mutex> hold(Lock);
    const auto* ours = OfBus(connection, *this);
    return ours != nullptr ? ours->Line.LatencyMs : 0;
}

// The bridge's timer runs free: what reached it goes to the host at the next tick.
std::uint64_t TVirtualBus::DeliveredUs(const TLine& line, std::uint64_t arrivalUs) {
    if (line.LatencyMs == 0) {
        return arrivalUs;
    }
    const std::uint64_t periodUs = std::uint64_t{line.LatencyMs} * 1000;
    return (arrivalUs + periodUs - 1) / periodUs * periodUs;
}

void TVirtualBus::Settle() {
    const std::uint64_t now = SimClock->NowUs();
    for (auto& device : Devices) {
        device->Settle(now);
    }
}

bool TVirtualBus::Alive(const TLine& line) const {
    // A connection from before the device last left the bus is dead.
    return line.Epoch == line.Device->Epoch() && line.Device->Listed();
}

bool TVirtualBus::IsOpen(const TVirtualDevice& device) const {
    return std::any_of(Live.begin(), Live.end(), [&](const TLine* line) {
        return line->Device == &device && line->Epoch == device.Epoch();
    });
}

std::size_t TVirtualBus::OpenConnectionCount() const {
    const std::lock_guard<std::mutex> hold(Lock);
    return Live.size();
}

std::vector<TPortEntry> TVirtualBus::List() {
    const std::lock_guard<std::mutex> hold(Lock);
    return ListLocked();
}

std::vector<TPortEntry> TVirtualBus::ListLocked() {
    Settle();
    Snapshot.clear();
    std::vector<TPortEntry> ports;
    ports.reserve(Devices.size());
    for (std::size_t i = 0; i < Devices.size(); ++i) {
        if (Devices[i]->Listed()) {
            // Named by their place on the bus, which stays while others come and go, as the
            // bridges' own serial numbers do.
            ports.push_back(
                {"VQ" + std::to_string(i), Devices[i]->Description, Devices[i]->SerialNumber});
            Snapshot.push_back(Devices[i].get());
        }
    }
    return ports;
}

TResult<std::unique_ptr<IPortConnection>> TVirtualBus::Open(std::size_t index, std::uint32_t baud) {
    const std::lock_guard<std::mutex> hold(Lock);
    Settle();
    if (index >= Snapshot.size() || !Snapshot[index]->Listed()) {
        return Fail(TError{"No device at list position " + std::to_string(index) + "."});
    }
    TVirtualDevice& device = *Snapshot[index];
    if (!device.OpenRefusal.empty()) {
        return Fail(TError{device.OpenRefusal});
    }
    if (IsOpen(device)) {
        return Fail(TError{"The device is in use by another program."});
    }
    const std::uint32_t latencyMs =
        !LatencyModelled ? 0 : (PortSetsLowLatency ? LowestLatencyMs : LatencyDefaultMs);
    return std::unique_ptr<IPortConnection>(
        std::make_unique<TVirtualConnection>(*this, device, baud, latencyMs));
}

std::vector<std::string> TVirtualBus::Facts() {
    const std::lock_guard<std::mutex> hold(Lock);
    std::vector<std::string> facts{"virtual bus"};
    if (LatencyModelled) {
        facts.back() += ", bridge latency timer " + std::to_string(LatencyDefaultMs) + " ms" +
                        (PortSetsLowLatency ? ", set to 1 ms on open" : "");
    }
    for (const TPortEntry& entry : ListLocked()) {
        facts.push_back(entry.Name + ": \"" + entry.Description + "\", serial " +
                        ShownSerial(entry));
    }
    return facts;
}

TPortIo TVirtualBus::Purge(TLine& line) {
    const std::lock_guard<std::mutex> hold(Lock);
    if (!Alive(line)) {
        return Gone();
    }
    // What has reached the host's buffer is dropped; a reply still on the line is not.
    const std::uint64_t now = SimClock->NowUs();
    std::erase_if(line.Incoming, [&](const TBurst& burst) {
        return DeliveredUs(line, ArrivalUs(burst, burst.Taken)) <= now;
    });
    return {};
}

TPortIo TVirtualBus::Write(TLine& line, std::span<const std::uint8_t> bytes) {
    const std::lock_guard<std::mutex> hold(Lock);
    if (!Alive(line)) {
        return Gone();
    }
    const std::uint64_t byteUs = ByteUs();
    const std::uint64_t start = std::max(SimClock->NowUs(), line.LineFreeUs);
    line.LineFreeUs = start + bytes.size() * byteUs;
    TPortIo io;
    io.Count = bytes.size();
    if (line.Baud != DeviceBaudRate) {
        return io; // at another baud rate the device hears only framing errors
    }
    Replies.clear();
    TVirtualDevice& device = *line.Device;
    device.Receive(bytes.data(), bytes.size(), start, byteUs, Replies);
    for (TReplyBurst& reply : Replies) {
        std::uint64_t replyStart =
            start + reply.RequestEnd * byteUs + (WireTiming ? TurnaroundUs : 0) + reply.DelayUs;
        if (!line.Incoming.empty()) { // one reply after the other on the line
            const TBurst& last = line.Incoming.back();
            replyStart = std::max(replyStart, ArrivalUs(last, last.Bytes.size() - 1));
        }
        if (reply.SwitchOffAfter) {
            device.SwitchOffAt(replyStart + reply.Bytes.size() * byteUs);
        }
        if (!reply.Bytes.empty()) {
            line.Incoming.push_back({std::move(reply.Bytes), 0, replyStart});
        }
    }
    return io;
}

TPortIo TVirtualBus::Read(TLine& line, std::span<std::uint8_t> bytes, TMilliseconds timeout) {
    std::unique_lock<std::mutex> hold(Lock);
    if (!Alive(line)) {
        return Gone();
    }
    const std::uint64_t now = SimClock->NowUs();
    const std::uint64_t deadline = now + static_cast<std::uint64_t>(timeout.count()) * 1000;
    // When would the last byte asked for be there?
    std::uint64_t readyAt = now;
    std::size_t counted = 0;
    for (const TBurst& burst : line.Incoming) {
        for (std::size_t i = burst.Taken; i < burst.Bytes.size() && counted < bytes.size(); ++i) {
            readyAt = std::max(readyAt, DeliveredUs(line, ArrivalUs(burst, i)));
            ++counted;
        }
    }
    hold.unlock();
    SimClock->WaitUntilUs(counted == bytes.size() && readyAt <= deadline ? readyAt : deadline);
    hold.lock();

    const std::uint64_t until = SimClock->NowUs();
    TPortIo io;
    while (io.Count < bytes.size() && !line.Incoming.empty()) {
        TBurst& burst = line.Incoming.front();
        if (DeliveredUs(line, ArrivalUs(burst, burst.Taken)) > until) {
            break;
        }
        bytes[io.Count++] = burst.Bytes[burst.Taken++];
        if (burst.Taken == burst.Bytes.size()) {
            line.Incoming.pop_front();
        }
    }
    return io;
}

} // namespace qor
