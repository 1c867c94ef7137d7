// The device port on Linux: the kernel's USB-serial driver gives each bridge a tty; the
// description is the USB device's product string from sysfs. Both roots are arguments, so a
// test can point them at a fake sysfs tree whose tty is a pseudo-terminal.
//
// Time-outs are kept with a monotonic clock and served by poll(); a read returns what arrived
// by its time-out. A time-out of 0 means "do not wait", never "wait for ever": the caller is
// the GUI thread.
#pragma once

#include <dirent.h>

#include <memory>
#include <string>
#include <vector>

#include "device/DeviceNodeWatch.h"
#include "device/DevicePort.h"

namespace qor {

class TTtyPort : public IDevicePort {
public:
    explicit TTtyPort(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");

    // The ttys that belong to a USB device, in natural name order (ttyUSB2 before ttyUSB10).
    std::vector<TPortEntry> List() override;
    // Opens the tty raw 8N1 at `baud`, for us alone: an exclusive lock on it (the convention
    // serial tools share) besides TIOCEXCL, which root ignores. Asks for the bridge's lowest
    // latency where the driver allows it.
    TResult<std::unique_ptr<IPortConnection>> Open(std::size_t index, std::uint32_t baud) override;

    // The sysfs root, and for each listed tty its product and the driver's latency timer.
    std::vector<std::string> Facts() override;

    // The reason shown to the user when `path` cannot be opened with `error` (an errno).
    static std::string DescribeOpenError(int error, const std::string& path);

private:
    std::string SysfsRoot;
    std::string DevRoot;
    std::string TtyClass; // SysfsRoot + "/class/tty", where the ttys are listed
    // Kept open and read again from its start on every listing: sysfs lists the ttys of the
    // moment, and the path is not walked again ten times a second.
    std::unique_ptr<DIR, int (*)(DIR*)> TtyClassDir{nullptr, ::closedir};
    // The ttys are listed again when the device nodes changed, and once a second in any case.
    TDeviceNodeWatch DevNodes{DevRoot};
    int QuietListings = 0;
    std::vector<TPortEntry> Snapshot;
    std::vector<std::string> KnownNames; // the ttys of the last listing, in directory order
    std::vector<std::string> Scanned;    // this listing's names (kept for its capacity)
    std::vector<std::size_t> MaybeOnUsb; // of KnownNames, those a bridge may be behind
};

} // namespace qor
