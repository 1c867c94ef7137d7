// What the demo puts behind the main window: one virtual QOR 7316 on a virtual bus running
// on the real clock, with wire timing, and the firmware server on loopback. The control
// window works it through the operations here, so they can be tested without a display.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "sim/FaultPlan.h"
#include "sim/FirmwareServer.h"
#include "sim/VirtualBus.h"

namespace qor {

enum class TDemoVariant { A, B, Other };

struct TDemoOptions {
    bool WireTiming = true;
    // The device's pause before each reply: a flash page write takes a few milliseconds,
    // and it lets the progress bar be watched.
    std::uint32_t TurnaroundMs = 10;
    // The longest pause the command line and the control window offer.
    static constexpr std::uint32_t MaxTurnaroundMs = 200;
};

// One fault the control window can inject: what goes wrong, and with which request.
struct TDemoFaultChoice {
    TFaultKind Kind = TFaultKind::DropReply;
    std::uint8_t Code = 0;              // the next request with this code
    std::optional<std::uint32_t> Block; // or, for write requests, the one of this block
    std::uint32_t Param = 0;            // 0: the kind's default
};

template <typename T> struct TNamedChoice {
    const char* Name;
    T Value;
};

// The fault kinds with their names and what their parameter means (nullptr: none).
struct TFaultKindInfo {
    const char* Name;
    TFaultKind Kind;
    const char* ParamName;
};
const std::vector<TFaultKindInfo>& DemoFaultKinds();
// The requests a fault can wait for, by name.
const std::vector<TNamedChoice<std::uint8_t>>& DemoFaultRequests();

// The firmware version the demo's server serves for both variants.
inline constexpr const char* DemoServerVersion = "1.5";

class TDemoRig {
public:
    explicit TDemoRig(const TDemoOptions& options = {});
    TDemoRig(const TDemoRig&) = delete;
    TDemoRig& operator=(const TDemoRig&) = delete;

    // Starts serving "/qor-7316-a.bin" and "/qor-7316-b.bin"; the reason when it cannot.
    TResult<void> StartServer();
    bool ServerRunning() const { return Http.Running(); }
    std::uint16_t ServerPort() const { return Http.Port(); }
    // The requests answered since the last call, oldest first.
    std::vector<TServedRequest> TakeServedRequests() { return Http.TakeLog(); }

    IDevicePort& Port() { return Bus; }
    TVirtualBus& VirtualBus() { return Bus; }
    TVirtualDevice& Device() { return *Qor; }

    void Plug() { Qor->Plug(); }
    void Unplug() { Qor->Unplug(); }
    void SwitchOn(TDeviceMode mode) { Qor->SwitchOn(mode); }
    void SwitchOff() { Qor->SwitchOff(); }

    // Another variant is another device: this one is unplugged (so the window sees it go)
    // and its bootloader replaced; Plug() brings the new one. Returns whether it was
    // plugged in, i.e. whether to plug the new one in again.
    bool SwapVariant(TDemoVariant variant);
    TDemoVariant Variant() const { return CurrentVariant; }
    // A device whose flash holds no application, as after a failed update: it leaves the bus
    // for a moment (so the window queries it anew) and comes back erased. Returns whether it
    // was plugged in.
    bool EraseFlash();

    void SetWireTiming(bool on);
    void SetTurnaroundMs(std::uint32_t ms);
    bool WireTiming() const { return Options.WireTiming; }
    std::uint32_t TurnaroundMs() const { return Options.TurnaroundMs; }

    // How the bootloader answers: the code of its acknowledgements (5 to 12, or
    // AckWithRequestCode) and of its reply to the version request (0 to 12). Kept when the
    // variant is swapped.
    void SetAckCode(std::uint8_t code) { Qor->Bootloader.SetAckCode(code); }
    std::uint8_t AckCode() const { return Qor->Bootloader.AckCode(); }
    void SetVersionReplyCode(std::uint8_t code) { Qor->Bootloader.SetVersionReplyCode(code); }
    std::uint8_t VersionReplyCode() const { return Qor->Bootloader.VersionReplyCode(); }
    // The queries answered with each other's replies; the requests that change the device
    // answered with data replies. Kept when the variant is swapped.
    void SetSwapQueryReplies(bool swap) { Qor->Bootloader.SetSwapQueryReplies(swap); }
    bool SwapQueryReplies() const { return Qor->Bootloader.SwapQueryReplies(); }
    void SetDataAcknowledgements(bool data) { Qor->Bootloader.SetDataAcknowledgements(data); }
    bool DataAcknowledgements() const { return Qor->Bootloader.DataAcknowledgements(); }

    void InjectFault(const TDemoFaultChoice& choice);
    std::size_t PendingFaults() const { return Qor->Faults.Pending(); }
    void ClearFaults() { Qor->Faults.Clear(); }

    // One line for the control window: cable, power, variant, firmware and checksums.
    std::string DeviceStateText() const;

private:
    void ApplyWireTiming();

    TDemoOptions Options;
    TVirtualBus Bus;
    TVirtualDevice* Qor;
    TDemoVariant CurrentVariant = TDemoVariant::A;
    TFirmwareServer Http;
};

} // namespace qor
