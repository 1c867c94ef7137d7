// The program's exit codes, one per outcome a script has to tell apart, named once; the help
// text and the README list them from here.
#pragma once

#include <span>

#include "flow/UpdateExit.h"

namespace qor::cli {

// An update's outcomes keep the codes its service record gives them.
enum class TExit : int {
    Success = UpdateExitSuccess,
    NoDevice = 1,     // none found, its port cannot be opened, or its bootloader is silent
    Usage = 2,        // the command line is not understood
    InvalidImage = 3, // the image file is not a valid image
    ImageDoesNotFit = UpdateExitDoesNotFit,      // another variant's image, or larger than the
                                                 // flash: nothing written
    ChecksumsDiffer = UpdateExitChecksumsDiffer, // written, but the device's checksums disagree
    DownloadFailed = 6,                          // the download or saving its image failed
    Interrupted = UpdateExitStopped,             // stopped by a signal; nothing more was sent
    DeviceCount = 8, // --expect N, and not N devices found: nothing was written
    UpdateFailedBase = UpdateExitFailedBase // 10 + the update's failure exit 0..6
};

// The outcome of exit 0 when flash --skip-current found the device already running the image.
inline constexpr const char* CurrentOutcome = "current";

// The update's failure exit N (0 begin, 1 prepare range, 2 a block, 3 finish range, 4 end,
// 5 checksums, 6 firmware version) as the program's exit code.
constexpr int UpdateFailureExitCode(int failureExit) {
    return static_cast<int>(TExit::UpdateFailedBase) + failureExit;
}

constexpr int ExitCode(TExit exit) {
    return static_cast<int>(exit);
}

struct TExitDoc {
    int Code;
    const char* Name;    // the outcome's name in the JSON result
    const char* Meaning; // one line of the help text
};

// Every exit code in ascending order.
std::span<const TExitDoc> ExitCodeTable();

// The outcome's name of an exit code; "unknown" for one not in the table.
const char* OutcomeName(int code);

// How flash --all sums up its devices' codes in one.
inline constexpr const char* SeveralDevicesExitRule =
    "With --all the exit code is 0 when every device was updated, otherwise the code of the "
    "first device in port order (the order list shows) that failed; the summary gives each "
    "device's code. A device left as it was by --skip-current counts as updated.";

// That rule: the code of the first failed device of `exits`, in port order.
int SeveralDevicesExit(std::span<const int> exits);

} // namespace qor::cli
