#include "flow/UpdateFlow.h"

#include <chrono>

#include "base/FixedTexts.h"
#include "flow/UpdateExit.h"

namespace qor {

std::string UpdateFailureMessage(const TUpdateFailure& failure) {
    return UpdateFailedPrefix + failure.ExitText();
}

bool DeviceRunsImage(const TDeviceInfo& info, const TFirmwareImage& image) {
    return info.ChecksumValid() && info.DeviceFWVersion == image.Version();
}

TUpdateFlowResult RunUpdateFlow(TConnectionMonitor& monitor, const TFirmwareImage& image,
                                const TImageOrigin& origin, IUpdateFlowObserver& observer,
                                IServiceRecorder* recorder, const TUpdateFlowOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    TServiceRecord record;
    record.Port = monitor.Link().PortName();
    record.Serial = monitor.Link().PortSerial();
    record.Attempt = options.Attempt;
    record.Attempts = options.Attempts;
    record.Before = monitor.Info();
    record.ImageName = origin.Name;
    record.ImageSource = origin.Source;
    record.ImageSize = image.Size();
    record.ImageCrc = image.Crc();
    record.ImageVersion = image.Version();

    TUpdateFlowResult result;
    // The device may have been swapped since the image was loaded: it must fit the device
    // that answers now, or nothing is sent.
    if (auto fits = ImageFits(image, ConnectedVariant(monitor)); !fits) {
        result.Outcome.Result = TUpdateResult::Refused;
        result.Outcome.Refusal = fits.Error().Reason;
        result.Rejection = fits.Error();
    } else if (options.SkipCurrent && DeviceRunsImage(monitor.Info(), image)) {
        result.Current = true;
        result.Outcome.Result = TUpdateResult::Succeeded;
    } else {
        observer.Accepted();
        TUpdateSession session(monitor.Link(), monitor.Bootloader(), monitor.Info());
        result.Outcome = session.Run(image.Bytes(), observer);
    }
    if (recorder != nullptr) {
        record.Time = std::chrono::system_clock::now();
        record.After = monitor.Info();
        record.Outcome = result.Outcome;
        record.Current = result.Current;
        record.Exit = result.Current ? UpdateExitSuccess : UpdateExitCode(result.Outcome);
        record.Duration = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        result.Recorded = recorder->Record(record);
    }
    return result;
}

} // namespace qor
