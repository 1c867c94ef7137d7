// The virtual bus: a device port whose devices are virtual. Lists the devices that are plugged
// in and switched on, opens one connection at a time per device, and carries bytes to and
// from them with the read time-out's semantics. Time comes from a simulation clock: by
// default a virtual one, so a dropped reply costs its time-out in virtual time only. Several
// threads may use it at once, each through its own connections, as a bench of devices is
// written in parallel; a read waits for its bytes without holding up the others.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/DevicePort.h"
#include "sim/SimClock.h"
#include "sim/VirtualDevice.h"

namespace qor {

class TVirtualBus : public IDevicePort {
public:
    TVirtualBus();
    explicit TVirtualBus(std::unique_ptr<ISimClock> clock);
    ~TVirtualBus() override;
    TVirtualBus(const TVirtualBus&) = delete;
    TVirtualBus& operator=(const TVirtualBus&) = delete;

    // Appends a device to the bus, plugged in and in bootloader mode, its bridge's serial
    // number VirtualSerial(its place on the bus).
    TVirtualDevice& AddDevice(std::string description, const TBootloaderConfig& config = {});
    // The serial number of the bridge at `place`, steady as a chip's: "VQ731600", "VQ731601"...
    static std::string VirtualSerial(std::size_t place);
    TVirtualDevice& Device(std::size_t index) { return *Devices.at(index); }

    // Wire timing: each byte takes 10 bits at the device's baud rate, and the device starts
    // its reply `turnaroundUs` after the request's last byte. Off: bytes take no time.
    void SetWireTiming(bool on, std::uint32_t turnaroundUs = 100);

    // The USB bridge's latency timer: bytes from the device wait in the bridge until its
    // timer next fires, every `defaultMs` unless the port set another period. `portSetsLow`:
    // whether opening a connection sets it as low as it goes (1 ms), as the program's ports
    // do; off, the period stays at the default, as with a driver that refuses, or until
    // SetLatencyTimer sets it.
    void SetBridgeLatency(bool on, std::uint32_t defaultMs = DefaultLatencyMs,
                          bool portSetsLow = true);
    // Sets the latency timer of an open connection of this bus, as the D2XX library's call does.
    bool SetLatencyTimer(IPortConnection& connection, std::uint32_t ms);
    // The latency timer in force on a connection; 0 while the bridge is not modelled.
    std::uint32_t LatencyTimer(const IPortConnection& connection) const;

    static constexpr std::uint32_t DefaultLatencyMs = 16;
    static constexpr std::uint32_t LowestLatencyMs = 1;
    ISimClock& Clock() { return *SimClock; }

    std::vector<TPortEntry> List() override;
    TResult<std::unique_ptr<IPortConnection>> Open(std::size_t index, std::uint32_t baud) override;
    std::vector<std::string> Facts() override;

    // Connections open now.
    std::size_t OpenConnectionCount() const;

    // Reply bytes on their way in: byte i is there at StartUs + (i + 1) * byte time.
    struct TBurst {
        TByteVector Bytes;
        std::size_t Taken = 0;
        std::uint64_t StartUs = 0;
    };
    // What one open connection knows of its device and the line.
    struct TLine {
        TVirtualDevice* Device = nullptr;
        std::uint32_t Epoch = 0;
        std::uint32_t Baud = 0;
        std::uint64_t LineFreeUs = 0; // when the host's last byte is out
        std::uint32_t LatencyMs = 0;  // the bridge's timer period; 0: not modelled
        std::deque<TBurst> Incoming;
    };

private:
    friend class TVirtualConnection;

    std::vector<TPortEntry> ListLocked();
    bool IsOpen(const TVirtualDevice& device) const;
    bool Alive(const TLine& line) const;
    std::uint64_t ByteUs() const;
    std::uint64_t ArrivalUs(const TBurst& burst, std::size_t index) const;
    // When a byte that reached the bridge then is handed to the host.
    static std::uint64_t DeliveredUs(const TLine& line, std::uint64_t arrivalUs);
    // Carries out switch-offs whose replies are out; done where the bus is listed or opened,
    // so that an exchange in progress still reads its reply.
    void Settle();

    TPortIo Write(TLine& line, std::span<const std::uint8_t> bytes);
    TPortIo Read(TLine& line, std::span<std::uint8_t> bytes, TMilliseconds timeout);
    TPortIo Purge(TLine& line);

    // Guards everything below and the devices; never held while a read waits.
    mutable std::mutex Lock;
    std::unique_ptr<ISimClock> SimClock;
    std::vector<std::unique_ptr<TVirtualDevice>> Devices;
    std::vector<TVirtualDevice*> Snapshot;
    std::vector<TLine*> Live;
    bool WireTiming = false;
    std::uint64_t TurnaroundUs = 0;
    bool LatencyModelled = false;
    std::uint32_t LatencyDefaultMs = DefaultLatencyMs;
    bool PortSetsLowLatency = true;
    std::vector<TReplyBurst> Replies; // reused for each write
};

} // namespace qor
