// Our port to the device's USB-serial bridge: a list of the attached bridges, and an open
// connection to one that sends, receives and purges bytes. Every call says how it went and
// how many bytes it moved; time-outs are the caller's, per call. Back-ends: tty + sysfs on
// Linux, the D2XX library on Windows, the virtual bus in tests and the demo.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"

namespace qor {

using TMilliseconds = std::chrono::milliseconds;

enum class TPortStatus {
    Ok,     // done, or timed out: the count says how far it got
    Gone,   // the bridge went away under the connection
    Failed, // the system refused the call
};

struct TPortIo {
    TPortStatus Status = TPortStatus::Ok;
    std::size_t Count = 0;
    std::string Detail; // set when the status is not Ok

    bool Ok() const { return Status == TPortStatus::Ok; }
};

// One open bridge, ours alone until it is destroyed, which closes it.
class IPortConnection {
public:
    virtual ~IPortConnection() = default;
    // Sends the bytes, waiting at most `timeout` for room on the line.
    virtual TPortIo Write(std::span<const std::uint8_t> bytes, TMilliseconds timeout) = 0;
    // Waits until bytes.size() bytes have arrived or `timeout` has passed, and returns what
    // arrived. A time-out of 0 takes what is there without waiting.
    virtual TPortIo Read(std::span<std::uint8_t> bytes, TMilliseconds timeout) = 0;
    // Drops whatever waits in either direction.
    virtual TPortIo Purge() = 0;
};

struct TPortEntry {
    std::string Name;        // the system's name for the port: "ttyUSB0", a serial number
    std::string Description; // the bridge's product string
    // The bridge's USB serial number, one per unit where the system's name is handed out anew
    // at every plug-in; empty for a bridge that has none.
    std::string Serial = {};
};

// A bridge without a serial number, as a person reads it.
inline constexpr const char* NoSerialText = "none";

// The serial number as a person reads it: NoSerialText for none.
inline std::string ShownSerial(const TPortEntry& entry) {
    return entry.Serial.empty() ? NoSerialText : entry.Serial;
}

class IDevicePort {
public:
    virtual ~IDevicePort() = default;
    // The bridges attached now, in the system's order. Empty when there are none or the list
    // cannot be had.
    virtual std::vector<TPortEntry> List() = 0;
    // Opens the bridge at `index` of the last List() at `baud`, 8N1, raw, for this program
    // alone; the reason in words a user can act on when that fails.
    virtual TResult<std::unique_ptr<IPortConnection>> Open(std::size_t index,
                                                           std::uint32_t baud) = 0;
    // What a service report says of this port: the back-end, and what it knows of each
    // bridge it lists (its latency setting, say). One fact a line.
    virtual std::vector<std::string> Facts() { return {}; }
    // Why the port can list no bridge at all (its driver is not installed, say), in words
    // that tell the user what to install; empty when it can list.
    virtual std::string Unavailable() { return {}; }
};

} // namespace qor
