#include "sim/VirtualBus.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "device/Protocol.h"

namespace qor {
namespace {

constexpr std::uint64_t BitsPerByte = 10; // start, 8 data, stop
constexpr std::uint32_t FlagOpened = 1;
constexpr std::uint32_t DeviceType232R = 5;
constexpr std::uint32_t BridgeId = 0x04036001;

void CopyField(char* field, std::size_t capacity, const std::string& text) {
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

} // namespace

TVirtualBus::TVirtualBus() : TVirtualBus(std::make_unique<TVirtualClock>()) {
}

TVirtualBus::TVirtualBus(std::unique_ptr<ISimClock> clock) : SimClock(std::move(clock)) {
}

TVirtualDevice& TVirtualBus::AddDevice(std::string description, const TBootloaderConfig& config) {
    Devices.push_back(std::make_unique<TVirtualDevice>(std::move(description), config));
    return *Devices.back();
}

void TVirtualBus::SetWireTiming(bool on, std::uint32_t turnaroundUs) {
    WireTiming = on;
    TurnaroundUs = turnaroundUs;
}

std::uint64_t TVirtualBus::ByteUs() const {
    return WireTiming ? BitsPerByte * 1000000 / DeviceBaudRate : 0;
}

std::uint64_t TVirtualBus::ArrivalUs(const TBurst& burst, std::size_t index) const {
    return burst.StartUs + (index + 1) * ByteUs();
}

void TVirtualBus::Settle() {
    const std::uint64_t now = SimClock->NowUs();
    for (auto& device : Devices) {
        device->Settle(now);
    }
}

TVirtualBus::THandle* TVirtualBus::Live(FT_HANDLE handle, FT_STATUS& status) {
    const auto it = Handles.find(handle);
    if (it == Handles.end()) {
        status = FT_INVALID_HANDLE;
        return nullptr;
    }
    THandle& h = it->second;
    if (h.Epoch != h.Device->Epoch() || !h.Device->Listed()) {
        status = FT_IO_ERROR; // the device left the bus under this handle
        return nullptr;
    }
    status = FT_OK;
    return &h;
}

FT_STATUS TVirtualBus::CreateDeviceInfoList(std::uint32_t* count) {
    Settle();
    Snapshot.clear();
    for (auto& device : Devices) {
        if (device->Listed()) {
            Snapshot.push_back(device.get());
        }
    }
    *count = static_cast<std::uint32_t>(Snapshot.size());
    return FT_OK;
}

bool TVirtualBus::IsOpen(const TVirtualDevice& device) const {
    // A handle from before the device last left the bus no longer counts.
    return std::any_of(Handles.begin(), Handles.end(), [&](const auto& entry) {
        return entry.second.Device == &device && entry.second.Epoch == device.Epoch();
    });
}

FT_STATUS TVirtualBus::GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, std::uint32_t* count) {
    const std::size_t n = std::min<std::size_t>(*count, Snapshot.size());
    for (std::size_t i = 0; i < n; ++i) {
        const TVirtualDevice& device = *Snapshot[i];
        FT_DEVICE_LIST_INFO_NODE& node = nodes[i];
        node = {};
        node.Flags = IsOpen(device) ? FlagOpened : 0;
        node.Type = DeviceType232R;
        node.ID = BridgeId;
        node.LocId = static_cast<std::uint32_t>(0x1000 + i);
        CopyField(node.SerialNumber, sizeof node.SerialNumber, "VQ" + std::to_string(i));
        CopyField(node.Description, sizeof node.Description, device.Description);
    }
    *count = static_cast<std::uint32_t>(n);
    return FT_OK;
}

FT_STATUS TVirtualBus::Open(int index, FT_HANDLE* handle) {
    OpenError.clear();
    Settle();
    if (index < 0 || static_cast<std::size_t>(index) >= Snapshot.size() ||
        !Snapshot[static_cast<std::size_t>(index)]->Listed()) {
        OpenError = "No device at list position " + std::to_string(index) + ".";
        return FT_DEVICE_NOT_FOUND;
    }
    TVirtualDevice* device = Snapshot[static_cast<std::size_t>(index)];
    if (!device->OpenRefusal.empty()) {
        OpenError = device->OpenRefusal;
        return FT_DEVICE_NOT_OPENED;
    }
    if (IsOpen(*device)) {
        OpenError = "The device is already open.";
        return FT_DEVICE_NOT_OPENED;
    }
    THandle& h = Handles[NextHandle];
    h.Device = device;
    h.Epoch = device->Epoch();
    *handle = NextHandle++;
    return FT_OK;
}

FT_STATUS TVirtualBus::SetBaudRate(FT_HANDLE handle, std::uint32_t baud) {
    FT_STATUS status = FT_OK;
    if (THandle* h = Live(handle, status)) {
        h->Baud = baud;
    }
    return status;
}

// Writes never wait on the virtual bus, so only the read time-out is kept.
FT_STATUS TVirtualBus::SetTimeouts(FT_HANDLE handle, std::uint32_t readMs,
                                   std::uint32_t /*writeMs*/) {
    FT_STATUS status = FT_OK;
    if (THandle* h = Live(handle, status)) {
        h->ReadMs = readMs;
    }
    return status;
}

FT_STATUS TVirtualBus::Purge(FT_HANDLE handle, std::uint32_t mask) {
    FT_STATUS status = FT_OK;
    THandle* h = Live(handle, status);
    if (h == nullptr || (mask & FT_PURGE_RX) == 0) {
        return status;
    }
    // What has reached the host's buffer is dropped; a reply still on the line is not.
    const std::uint64_t now = SimClock->NowUs();
    std::erase_if(h->Incoming,
                  [&](const TBurst& burst) { return ArrivalUs(burst, burst.Taken) <= now; });
    return FT_OK;
}

FT_STATUS TVirtualBus::Write(FT_HANDLE handle, const void* data, std::uint32_t size,
                             std::uint32_t* written) {
    *written = 0;
    FT_STATUS status = FT_OK;
    THandle* h = Live(handle, status);
    if (h == nullptr) {
        return status;
    }
    const std::uint64_t byteUs = ByteUs();
    const std::uint64_t start = std::max(SimClock->NowUs(), h->LineFreeUs);
    h->LineFreeUs = start + size * byteUs;
    *written = size;
    if (h->Baud != DeviceBaudRate) {
        return FT_OK; // at another baud rate the device hears only framing errors
    }
    Replies.clear();
    TVirtualDevice& device = *h->Device;
    device.Receive(static_cast<const std::uint8_t*>(data), size, start, byteUs, Replies);
    for (TReplyBurst& reply : Replies) {
        std::uint64_t replyStart =
            start + reply.RequestEnd * byteUs + (WireTiming ? TurnaroundUs : 0) + reply.DelayUs;
        if (!h->Incoming.empty()) { // one reply after the other on the line
            const TBurst& last = h->Incoming.back();
            replyStart = std::max(replyStart, ArrivalUs(last, last.Bytes.size() - 1));
        }
        if (reply.SwitchOffAfter) {
            device.SwitchOffAt(replyStart + reply.Bytes.size() * byteUs);
        }
        if (!reply.Bytes.empty()) {
            h->Incoming.push_back({std::move(reply.Bytes), 0, replyStart});
        }
    }
    return FT_OK;
}

FT_STATUS TVirtualBus::Read(FT_HANDLE handle, void* data, std::uint32_t size, std::uint32_t* got) {
    *got = 0;
    FT_STATUS status = FT_OK;
    THandle* h = Live(handle, status);
    if (h == nullptr) {
        return status;
    }
    const std::uint64_t now = SimClock->NowUs();
    const std::uint64_t deadline = now + std::uint64_t{h->ReadMs} * 1000;
    // When would the last byte asked for be there?
    std::uint64_t readyAt = now;
    std::uint32_t counted = 0;
    for (const TBurst& burst : h->Incoming) {
        for (std::size_t i = burst.Taken; i < burst.Bytes.size() && counted < size; ++i) {
            readyAt = std::max(readyAt, ArrivalUs(burst, i));
            ++counted;
        }
    }
    SimClock->WaitUntilUs(counted == size && readyAt <= deadline ? readyAt : deadline);

    const std::uint64_t until = SimClock->NowUs();
    auto* out = static_cast<std::uint8_t*>(data);
    while (*got < size && !h->Incoming.empty()) {
        TBurst& burst = h->Incoming.front();
        if (ArrivalUs(burst, burst.Taken) > until) {
            break;
        }
        out[(*got)++] = burst.Bytes[burst.Taken++];
        if (burst.Taken == burst.Bytes.size()) {
            h->Incoming.pop_front();
        }
    }
    return FT_OK;
}

FT_STATUS TVirtualBus::Close(FT_HANDLE handle) {
    return Handles.erase(handle) == 1 ? FT_OK : FT_INVALID_HANDLE;
}

} // namespace qor
