// The update as both programs run it: the image's fit with the device that answers now, the
// update session, and the service record of every update that was begun. The window adds its
// flags and message boxes, the command line its events and exit codes. It keeps no state of
// its own: each device, with its own monitor, observer and (shared) recorder, runs its own.
#pragma once

#include <optional>
#include <string>

#include "base/Result.h"
#include "device/ConnectionMonitor.h"
#include "device/UpdateSession.h"
#include "firmware/FirmwareImage.h"
#include "flow/ImageChecks.h"
#include "flow/ServiceRecord.h"

namespace qor {

// The failure's message as the window shows it: "Update fehlgeschlagen: 2:17".
std::string UpdateFailureMessage(const TUpdateFailure& failure);

// Where the image came from, as the record names it.
struct TImageOrigin {
    std::string Name;   // the file's name, UTF-8
    std::string Source; // its path or its download's address; never credentials
};

// What the update sees of its caller: the session's observer, and the moment the image was
// found to fit, before the first request goes out.
class IUpdateFlowObserver : public IUpdateObserver {
public:
    virtual void Accepted() {}
};

// What the command line asks of an update besides what the window does.
struct TUpdateFlowOptions {
    bool SkipCurrent = false; // a device that already runs the image is not written
    // The attempt this is, of at most Attempts, as its record says.
    unsigned Attempt = 1;
    unsigned Attempts = 1;
};

// Whether the device already runs `image`: it reports the image's firmware version and its
// checksums agree.
bool DeviceRunsImage(const TDeviceInfo& info, const TFirmwareImage& image);

struct TUpdateFlowResult {
    TUpdateOutcome Outcome;
    // Nothing was sent: SkipCurrent, and the device already ran the image.
    bool Current = false;
    // Why the image was refused before anything was sent; none when it was written.
    std::optional<TImageRejection> Rejection;
    // Whether the service record was kept; the update's outcome does not depend on it.
    TResult<void> Recorded;
};

// Writes `image` to the device `monitor` holds, when it fits that device, and hands the
// record of the attempt to `recorder` (when given) before returning, so that no message box
// holds the record up.
TUpdateFlowResult RunUpdateFlow(TConnectionMonitor& monitor, const TFirmwareImage& image,
                                const TImageOrigin& origin, IUpdateFlowObserver& observer,
                                IServiceRecorder* recorder, const TUpdateFlowOptions& options = {});

} // namespace qor
