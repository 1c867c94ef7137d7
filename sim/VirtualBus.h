// The virtual bus: a D2XX-shaped port whose devices are virtual. Lists the devices that are
// plugged in and switched on, opens one at a time per device, and carries bytes to and from
// them with the read time-out's semantics. Time comes from a simulation clock: by default a
// virtual one, so a dropped reply costs its time-out in virtual time only.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/FtPort.h"
#include "sim/SimClock.h"
#include "sim/VirtualDevice.h"

namespace qor {

class TVirtualBus : public IFtPort {
public:
    TVirtualBus();
    explicit TVirtualBus(std::unique_ptr<ISimClock> clock);

    // Appends a device to the bus, plugged in and in bootloader mode.
    TVirtualDevice& AddDevice(std::string description, const TBootloaderConfig& config = {});
    TVirtualDevice& Device(std::size_t index) { return *Devices.at(index); }

    // Wire timing: each byte takes 10 bits at the device's baud rate, and the device starts
    // its reply `turnaroundUs` after the request's last byte. Off: bytes take no time.
    void SetWireTiming(bool on, std::uint32_t turnaroundUs = 100);
    ISimClock& Clock() { return *SimClock; }

    FT_STATUS CreateDeviceInfoList(std::uint32_t* count) override;
    FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, std::uint32_t* count) override;
    FT_STATUS Open(int index, FT_HANDLE* handle) override;
    FT_STATUS SetBaudRate(FT_HANDLE handle, std::uint32_t baud) override;
    FT_STATUS SetTimeouts(FT_HANDLE handle, std::uint32_t readMs, std::uint32_t writeMs) override;
    FT_STATUS Purge(FT_HANDLE handle, std::uint32_t mask) override;
    FT_STATUS Write(FT_HANDLE handle, const void* data, std::uint32_t size,
                    std::uint32_t* written) override;
    // A read time-out of 0 returns what has arrived without waiting.
    FT_STATUS Read(FT_HANDLE handle, void* data, std::uint32_t size, std::uint32_t* got) override;
    FT_STATUS Close(FT_HANDLE handle) override;
    std::string LastOpenError() const override { return OpenError; }

    std::size_t OpenHandleCount() const { return Handles.size(); }

private:
    // Reply bytes on their way in: byte i is there at StartUs + (i + 1) * byte time.
    struct TBurst {
        TByteVector Bytes;
        std::size_t Taken = 0;
        std::uint64_t StartUs = 0;
    };
    struct THandle {
        TVirtualDevice* Device = nullptr;
        std::uint32_t Epoch = 0;
        std::uint32_t Baud = 9600; // the bridge's default until set
        std::uint32_t ReadMs = 0;
        std::uint64_t LineFreeUs = 0; // when the host's last byte is out
        std::deque<TBurst> Incoming;
    };

    bool IsOpen(const TVirtualDevice& device) const;
    THandle* Live(FT_HANDLE handle, FT_STATUS& status);
    std::uint64_t ByteUs() const;
    std::uint64_t ArrivalUs(const TBurst& burst, std::size_t index) const;
    // Carries out switch-offs whose replies are out; done where the bus is listed or opened,
    // so that an exchange in progress still reads its reply.
    void Settle();

    std::unique_ptr<ISimClock> SimClock;
    std::vector<std::unique_ptr<TVirtualDevice>> Devices;
    std::vector<TVirtualDevice*> Snapshot;
    std::map<FT_HANDLE, THandle> Handles;
    FT_HANDLE NextHandle = 0x7316;
    bool WireTiming = false;
    std::uint64_t TurnaroundUs = 0;
    std::string OpenError;
    std::vector<TReplyBurst> Replies; // reused for each write
};

} // namespace qor
