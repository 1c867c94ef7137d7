// The command line of qor7316-socket-device, parsed apart from the serving loop.
#pragma once

#include <string>
#include <vector>

#include "base/Result.h"
#include "sim/BootloaderEmulator.h"

namespace qor {

struct TSocketDeviceOptions {
    std::string SocketPath;
    TBootloaderConfig Config = TBootloaderConfig::VariantA();
    std::string FlashOut; // where the flash goes when serving ends; empty: nowhere
    std::string TraceOut; // where every read and reply is logged with its time; empty: nowhere
    bool Help = false;
};

// The options the arguments after the program name give; the reason when they do not
// describe a device to serve.
TResult<TSocketDeviceOptions> ParseSocketDeviceOptions(const std::vector<std::string>& args);

inline constexpr const char* SocketDeviceUsage =
    "usage: qor7316-socket-device --socket PATH [--variant a|b] [--ack-code N]\n"
    "                             [--version-reply-code N] [--no-application]\n"
    "                             [--swap-query-replies] [--data-acknowledgements]\n"
    "                             [--flash-out FILE] [--trace FILE]\n"
    "Serves one virtual QOR 7316, switched on in bootloader mode, on a Unix socket: the host\n"
    "side of QEMU's emulated FTDI adapter (-chardev socket,id=ID,path=PATH -device\n"
    "usb-serial,chardev=ID). PATH appears once the socket listens. One connection is served\n"
    "until the peer closes it or SIGTERM or SIGINT comes; a power-off request closes it once\n"
    "its reply is out, so the adapter leaves the guest's bus. Then the flash is written.\n"
    "  --variant a|b            the bootloader's page geometry (default a)\n"
    "  --ack-code N             acknowledgements carry code N, 5 to 12, or 0 for the request's\n"
    "                           own code (default 7)\n"
    "  --version-reply-code N   the version request is answered with code N, 0 to 12\n"
    "                           (default 0)\n"
    "  --no-application         the flash starts erased: the checksums differ and the\n"
    "                           firmware-version request is acknowledged\n"
    "  --swap-query-replies     page size and page count, checksums and firmware version are\n"
    "                           answered with each other's replies\n"
    "  --data-acknowledgements  the requests that change the device are answered with data\n"
    "                           replies instead of acknowledgements\n"
    "  --flash-out FILE         the device's flash is written to FILE at the end\n"
    "  --trace FILE             every read from the peer and every reply, with its time\n";

} // namespace qor
