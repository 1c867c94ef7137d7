// The device port on Linux: the kernel's USB-serial driver gives each bridge a tty; the
// description is the USB device's product string from sysfs. Both roots are arguments, so a
// test can point them at a fake sysfs tree whose tty is a pseudo-terminal.
//
// Time-outs are kept with a monotonic clock and served by poll(); a read returns what arrived
// by its time-out. A time-out of 0 means "do not wait", never "wait for ever": the caller is
// the GUI thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "device/FtPort.h"
#include "platform/PosixFiles.h"

namespace qor {

class TTtyPort : public IFtPort {
public:
    explicit TTtyPort(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");

    // Lists the ttys that belong to a USB device, in natural name order (ttyUSB2 before
    // ttyUSB10).
    FT_STATUS CreateDeviceInfoList(std::uint32_t* count) override;
    FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, std::uint32_t* count) override;
    // Opens the tty exclusively in raw 8N1; the speed is left to SetBaudRate.
    FT_STATUS Open(int index, FT_HANDLE* handle) override;
    FT_STATUS SetBaudRate(FT_HANDLE handle, std::uint32_t baud) override;
    FT_STATUS SetTimeouts(FT_HANDLE handle, std::uint32_t readMs, std::uint32_t writeMs) override;
    FT_STATUS Purge(FT_HANDLE handle, std::uint32_t mask) override;
    FT_STATUS Write(FT_HANDLE handle, const void* data, std::uint32_t size,
                    std::uint32_t* written) override;
    FT_STATUS Read(FT_HANDLE handle, void* data, std::uint32_t size, std::uint32_t* got) override;
    FT_STATUS Close(FT_HANDLE handle) override;
    std::string LastOpenError() const override { return OpenError; }

    // The reason shown to the user when `path` cannot be opened with `error` (an errno).
    static std::string DescribeOpenError(int error, const std::string& path);

private:
    struct TTtyEntry {
        std::string Name; // e.g. ttyUSB0
        std::string Description;
    };
    struct TOpenTty {
        posix::TFileHandle Fd;
        std::string Name;
        std::uint32_t ReadMs = 0;
        std::uint32_t WriteMs = 0;
    };

    TOpenTty* Find(FT_HANDLE handle);

    std::string SysfsRoot;
    std::string DevRoot;
    std::vector<TTtyEntry> Snapshot;
    std::map<FT_HANDLE, TOpenTty> Handles;
    FT_HANDLE NextHandle = 1;
    std::string OpenError;
};

} // namespace qor
