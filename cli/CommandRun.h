// One run of a command: the device found, the image checked and written, the download, each
// reported as events and ended by one result whose exit code tells the outcome.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/Settings.h"
#include "base/TextTable.h"
#include "cli/CliOptions.h"
#include "cli/CliServices.h"
#include "cli/DeviceConnect.h"
#include "cli/ExitCodes.h"
#include "cli/Reporter.h"
#include "device/UpdateSession.h"
#include "firmware/DeviceVariant.h"
#include "firmware/FirmwareImage.h"
#include "presenter/ImageChecks.h"

namespace qor::cli {

// A step of a command that failed and has been reported: what is left of it is the exit code.
struct TReported {
    int Exit = 0;
};
template <typename T> using TStep = TResult<T, TReported>;

// An image that passed its checks, and where it came from: its path or its download's address.
struct TCheckedImage {
    TFirmwareImage Image;
    std::string Source;
};

class TCommandRun {
public:
    TCommandRun(const TCliOptions& options, TCliServices& services, IReporter& report);

    // Runs the command and returns its exit code after reporting the result.
    int Run();

private:
    int List();
    int Info();
    int Flash();
    int Download();
    int PowerOff();

    // The stored settings, read once; an unreadable store leaves the defaults, in English.
    const TSettings& StoredSettings();
    // --lang, else the stored language.
    std::uint8_t Language();
    const char* Text(TTextId id);

    // Waits for the device as the options say; fails after reporting why it is not there.
    TStep<void> ConnectDevice();
    void ReportDevice();
    // The download of the image for `variant`.
    TStep<TFetchedImage> Fetch(TVariantKind variant);
    // flash's image: the file the options name, or the download for the connected device.
    TStep<TCheckedImage> LocalImage();
    TStep<TCheckedImage> DownloadedImage();
    // The result event of an update that was begun, with its exit code.
    int FinishUpdate(const TUpdateOutcome& outcome);
    // Reports an image that is not a valid image file; returns its exit code.
    int InvalidImage(const std::string& reason);
    // Reports an image the device cannot take; nothing was written.
    int DoesNotFit(const TFirmwareImage& image, const TImageRejection& refusal,
                   const std::optional<TDeviceVariant>& device);

    // Reports the result event with the exit code and its outcome's name.
    int Finish(TExit exit, TEvent event);
    int Finish(int exit, TEvent event);

    const TCliOptions& Options;
    TCliServices& Services;
    IReporter& Report;
    TDeviceConnector Connector;
    std::optional<TSettings> Settings;
};

} // namespace qor::cli
