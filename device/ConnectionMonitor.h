// The connection monitor, ticked every 100 ms: keeps the port current, tells whether the
// device is missing, found but silent, or answering, and asks its bootloader when needed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "device/BootloaderClient.h"
#include "device/DeviceInfo.h"
#include "device/DeviceLink.h"
#include "device/Protocol.h"

namespace qor {

enum class TDeviceState {
    NotFound,   // no bridge with the device's description
    Connecting, // found, its bootloader not answering yet
    Connected,  // the bootloader answered the full query
};

// Why the last full query did not connect the device: the request whose exchange failed.
struct TQueryFailure {
    std::uint8_t Request = CmdGetBootVersion;
    TExchangeError Error;

    // Whether anything came back at all: silence to the first request means the bootloader is
    // not running (or the device not in its bootloader).
    bool Answered() const;
    // "the page-size request failed: refused with code 13".
    std::string Describe() const;
};

struct TDeviceStatus {
    TDeviceState State = TDeviceState::NotFound;
    TDeviceInfo Info;      // what the bootloader reported; shown only when Connected
    std::string OpenError; // why a device that was found could not be opened
    // While Connecting: why the last full query failed, once one has run.
    std::optional<TQueryFailure> QueryFailure;
};

// Ticks between full queries while the bootloader does not answer, and between keep-alive
// requests while it does.
inline constexpr std::int32_t QueryReload = 3;
inline constexpr std::uint8_t PollReload = 10;
// Ticks before the first full query after start-up.
inline constexpr std::int32_t FirstQueryDelay = 4;

class TConnectionMonitor {
public:
    explicit TConnectionMonitor(IDevicePort& port);

    // One tick: port upkeep, then the state the tick found the device in; a full query runs
    // while Connecting, the keep-alive while Connected unless an update is writing. The state
    // is the one the tick started from: a query that succeeds shows from the next tick on.
    TDeviceStatus Tick(bool updateRunning);

    bool BootloaderReady() const { return Ready; }
    // Ticks until the next full query while Connecting, and the next keep-alive while
    // Connected.
    std::int32_t QueryTicksLeft() const { return QueryCountdown; }
    std::uint8_t PollTicksLeft() const { return PollCountdown; }
    const TDeviceInfo& Info() const { return Values; }
    TDeviceInfo& Info() { return Values; }
    TDeviceLink& Link() { return DeviceLink; }
    const TDeviceLink& Link() const { return DeviceLink; }
    TBootloaderClient& Bootloader() { return Client; }

    // The full query: version, page size, page count, checksums, firmware version. Sets
    // BootloaderReady to whether all five exchanges went through, whatever good replies
    // answered them; the values that came are kept.
    bool QueryBootloader();
    // Why the last full query failed; none after one that succeeded.
    const std::optional<TQueryFailure>& QueryFailure() const { return LastFailure; }
    // The keep-alive: one version request with the time-outs in force. A good reply is stored
    // as its code says; a failure changes nothing.
    void PollBootloader();

private:
    // Forgets what an earlier device reported once this one is gone or opened anew.
    void ForgetGoneDevice();

    TDeviceLink DeviceLink;
    TDeviceInfo Values;
    TBootloaderClient Client;
    std::optional<TQueryFailure> LastFailure;
    std::uint32_t ValuesOpenCount = 0; // the link's open count the values belong to
    bool Ready = false;
    std::int32_t QueryCountdown = FirstQueryDelay;
    std::uint8_t PollCountdown = 0;
};

} // namespace qor
