// qor7316-socket-device: one virtual QOR 7316 on a Unix socket, for QEMU's emulated FTDI
// adapter, so that a guest's kernel drivers stand between the program and the device.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/TempDir.h"
#include "sim/socket-device/SocketDeviceOptions.h"
#include "sim/socket-device/SocketLine.h"

namespace {

const char* EndText(qor::TLineEnd end) {
    switch (end) {
    case qor::TLineEnd::PeerClosed:
        return "the peer closed the line";
    case qor::TLineEnd::PoweredOff:
        return "the device switched off";
    case qor::TLineEnd::Stopped:
        return "stopped by a signal";
    case qor::TLineEnd::Failed:
        break;
    }
    return "failed";
}

} // namespace

// NOLINTNEXTLINE(bugprone-exception-escape): a result's value is read only once it is known.
int main(int argc, char** argv) {
    using namespace qor;
    constexpr const char* Name = "qor7316-socket-device";
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = ParseSocketDeviceOptions(args);
    if (!parsed) {
        std::fprintf(stderr, "%s: %s\n%s", Name, parsed.Error().Reason.c_str(), SocketDeviceUsage);
        return 2;
    }
    const TSocketDeviceOptions& options = *parsed;
    if (options.Help) {
        std::fputs(SocketDeviceUsage, stdout);
        return 0;
    }
    std::ofstream trace;
    if (!options.TraceOut.empty()) {
        trace.open(options.TraceOut);
        if (!trace) {
            std::fprintf(stderr, "%s: cannot write %s\n", Name, options.TraceOut.c_str());
            return 1;
        }
    }
    CatchStopSignals();
    auto listener = ListenAt(options.SocketPath);
    if (!listener) {
        std::fprintf(stderr, "%s: %s\n", Name, listener.Error().Reason.c_str());
        return 1;
    }
    TVirtualDevice device(DeviceDescription, options.Config);
    // Arrival times are taken when a read returns, not when the guest sent the bytes: a slow
    // guest or a busy host must not split a frame.
    device.FrameGapUs = std::uint64_t{60} * 1000 * 1000;
    TLineSummary summary;
    auto peer = AcceptPeer(listener->Get());
    ::unlink(options.SocketPath.c_str());
    listener->Reset();
    if (peer) {
        summary = ServeLine(peer->Get(), device, trace.is_open() ? &trace : nullptr);
        peer->Reset();
    } else {
        summary.End = TLineEnd::Stopped;
        summary.Reason = peer.Error().Reason;
    }
    std::size_t answered = 0;
    for (const TFrameRecord& frame : device.Frames) {
        answered += frame.Answered ? 1 : 0;
    }
    std::fprintf(stderr, "%s: %s%s%s; %zu frames (%zu answered) in %zu reads of %zu bytes\n", Name,
                 EndText(summary.End), summary.Reason.empty() ? "" : ": ", summary.Reason.c_str(),
                 device.Frames.size(), answered, summary.Reads, summary.BytesIn);
    if (!options.FlashOut.empty()) {
        if (const auto written = WriteFileAtomically(options.FlashOut, device.Bootloader.Flash());
            !written) {
            std::fprintf(stderr, "%s: %s\n", Name, written.Error().Reason.c_str());
            return 1;
        }
    }
    return summary.End == TLineEnd::Failed ? 1 : 0;
}
