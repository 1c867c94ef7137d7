#include "cli/ExitCodes.h"

#include <array>
#include <string>

#include "cli/Terminal.h"

namespace qor::cli {
namespace {

using TExitTable = std::array<TExitDoc, 16>;

const TExitTable& Table() {
    // How a user stops the program differs between the systems.
    static const std::string interrupted = std::string("interrupted (") + StopRequestNames() +
                                           "); nothing more was sent to the device";
    static const TExitTable table{{
        {0, "success",
         "success (with --skip-current also a device that already ran the image: "
         "outcome current)"},
        {1, "no-device",
         "no device: none found (also after --wait), its port cannot be opened, or its bootloader "
         "does not answer"},
        {2, "usage", "usage error: the command line is not understood"},
        {3, "invalid-image",
         "invalid image file: missing, unreadable, empty, too short or its CRC trailer is wrong"},
        {4, "image-does-not-fit",
         "the image does not fit the device (another variant, or larger than its flash), or the "
         "device did not report its geometry; nothing was written"},
        {5, "checksums-differ",
         "the image was written, but the device's two checksums differ afterwards"},
        {6, "download-failed", "the download failed, or its image could not be saved"},
        {7, "interrupted", interrupted.c_str()},
        {8, "device-count",
         "--expect N: not exactly N devices were found (also after --wait); nothing was written"},
        {10, "update-failed-0", "update failure exit 0: the begin request failed"},
        {11, "update-failed-1", "update failure exit 1: the prepare-range request failed"},
        {12, "update-failed-2",
         "update failure exit 2: writing a block failed (its index is shown)"},
        {13, "update-failed-3", "update failure exit 3: the finish-range request failed"},
        {14, "update-failed-4", "update failure exit 4: the end request failed"},
        {15, "update-failed-5",
         "update failure exit 5: reading the checksums failed, or none were reported"},
        {16, "update-failed-6", "update failure exit 6: reading the firmware version failed"},
    }};
    return table;
}

} // namespace

std::span<const TExitDoc> ExitCodeTable() {
    return Table();
}

int SeveralDevicesExit(std::span<const int> exits) {
    for (const int exit : exits) {
        if (exit != ExitCode(TExit::Success)) {
            return exit;
        }
    }
    return ExitCode(TExit::Success);
}

const char* OutcomeName(int code) {
    for (const TExitDoc& doc : Table()) {
        if (doc.Code == code) {
            return doc.Name;
        }
    }
    return "unknown";
}

} // namespace qor::cli
