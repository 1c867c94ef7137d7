// One device on the virtual bus: the USB bridge's description, plugged or not, switched on in
// bootloader or application mode or off, and the bootloader behind it. It takes the host's
// bytes one by one, frames them, logs every frame and answers through its fault plan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/BootloaderEmulator.h"
#include "sim/FaultPlan.h"

namespace qor {

enum class TDeviceMode {
    Bootloader,  // answers
    Application, // listed on the bus, answers nothing
    Off,         // not on the bus
};

struct TFrameRecord {
    std::uint32_t Number = 0; // counted from 0 since the device was made
    std::uint8_t Code = 0;    // byte 2; 0 for a frame cut short before it
    bool Valid = false;       // length and CRC sound
    bool Answered = false;
    TByteVector Bytes;
};

// A reply on its way to the host.
struct TReplyBurst {
    TByteVector Bytes;
    std::size_t RequestEnd = 0; // bytes of the host's write up to the end of the request
    std::uint64_t DelayUs = 0;  // lateness injected by the fault plan
    bool SwitchOffAfter = false;
};

class TVirtualDevice {
public:
    explicit TVirtualDevice(std::string description, const TBootloaderConfig& config = {});

    bool Listed() const { return IsPlugged && CurrentMode != TDeviceMode::Off; }
    bool Plugged() const { return IsPlugged; }
    TDeviceMode Mode() const { return CurrentMode; }
    // Changes whenever the device leaves the bus, so handles opened before are dead.
    std::uint32_t Epoch() const { return LeaveCount; }

    void Plug() { IsPlugged = true; }
    void Unplug();
    void SwitchOn(TDeviceMode mode);
    void SwitchOff();

    // Bytes from the host, the first on the line at nowUs, each taking byteUs.
    void Receive(const std::uint8_t* data, std::size_t size, std::uint64_t nowUs,
                 std::uint64_t byteUs, std::vector<TReplyBurst>& replies);
    // The switch-off a power-off request asked for, once its reply is out at `atUs`.
    void SwitchOffAt(std::uint64_t atUs) { PendingSwitchOffUs = atUs; }
    void Settle(std::uint64_t nowUs);

    // Frames in the log with this code.
    std::size_t FrameCount(std::uint8_t code) const;

    std::string Description;
    std::string SerialNumber; // the bridge's; empty for a bridge without one
    std::string OpenRefusal;  // when set, opening fails with this reason (held elsewhere)
    TBootloaderEmulator Bootloader;
    TFaultPlan Faults;
    std::vector<TFrameRecord> Frames;
    bool RecordFrames = true;
    std::uint64_t FrameGapUs = 10000; // a pause this long drops a half-received frame

private:
    void FinishFrame(std::size_t requestEnd, std::vector<TReplyBurst>& replies);
    void AnswerFrame(std::uint32_t number, std::size_t requestEnd,
                     std::vector<TReplyBurst>& replies);
    void Record(std::uint32_t number, bool valid, bool answered);

    TByteVector Rx;
    std::uint64_t LastByteUs = 0;
    std::uint32_t RequestCount = 0;
    bool IsPlugged = true;
    TDeviceMode CurrentMode = TDeviceMode::Bootloader;
    std::uint32_t LeaveCount = 0;
    std::optional<std::uint64_t> PendingSwitchOffUs;
};

} // namespace qor
