// One run of a command: the device found, the image checked and written, the download, each
// reported as events and ended by one result whose exit code tells the outcome.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "base/TextTable.h"
#include "cli/CliOptions.h"
#include "cli/CliServices.h"
#include "cli/DeviceConnect.h"
#include "cli/DeviceTags.h"
#include "cli/DeviceUpdate.h"
#include "cli/ExitCodes.h"
#include "cli/Reporter.h"
#include "device/UpdateSession.h"
#include "firmware/DeviceVariant.h"
#include "firmware/FirmwareImage.h"
#include "flow/ImageChecks.h"

namespace qor::cli {

// The devices of a flash --all and their rows.
struct TBench;

// A step of a command that failed and has been reported: what is left of it is the exit code.
struct TReported {
    int Exit = 0;
};
template <typename T> using TStep = TResult<T, TReported>;

// A step that failed and is not reported yet: its exit code and the result event that tells
// it, for the one device or for each device it concerns.
struct TFailed {
    int Exit = 0;
    TEvent Event;
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
    // flash --all: every device attached at the start, each on a thread of its own.
    int FlashAll();
    // Its devices: those listed when the run starts (with --wait, once there is one, or with
    // --expect N once there are N, or every --serial is there), in port order.
    TStep<std::vector<TPortEntry>> TakeDevices();
    // The devices listed now that the options choose, in port order.
    std::vector<TPortEntry> ChosenDevices();
    // The serial numbers asked for with --serial that none of `devices` has.
    std::vector<std::string> MissingSerials(const std::vector<TPortEntry>& devices) const;
    // Why the run ends without a device it was asked for: "no device with the serial number
    // A1" (or "serial numbers A1, B2").
    static std::string MissingSerialsReason(const std::vector<std::string>& missing);
    // What a wait for devices waits for, once it has found `devices`.
    std::string WaitingText(const std::vector<TPortEntry>& devices);
    // Its steps: each device's bootloader waited for, in one loop as the window's timer
    // ticks; one download per variant present; every device written on a thread of its own.
    void ConnectAll(TBench& bench);
    void DownloadForAll(TBench& bench, std::uint8_t language);
    void WriteAll(TBench& bench, std::uint8_t language);
    // Ends a row with its result; StopRow does it when the user asked to stop.
    void FailRow(TBench& bench, std::size_t row, int exit, TEvent event);
    bool StopRow(TBench& bench, std::size_t row);
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
    // The kind of image to download for the device; a device whose variant is not known gets
    // none (the image does not fit).
    static TResult<TVariantKind, TFailed> KindToFetch(const TConnectedVariant& device);
    // The download of the image for `variant`, and the same checked as the window checks a
    // downloaded image.
    TResult<TFetchedImage, TFailed> Fetch(TVariantKind variant);
    TResult<TCheckedImage, TFailed> FetchChecked(TVariantKind variant);
    // flash's image: the file the options name, checked before any device is asked (none
    // when it is to be downloaded), or the download for the connected device.
    TStep<std::optional<TCheckedImage>> LocalImage();
    TStep<TCheckedImage> DownloadedImage();
    // An image that is not a valid image file.
    static TFailed InvalidImage(const std::string& reason);
    // Reports an image the device cannot take; nothing was written.
    int DoesNotFit(const TFirmwareImage& image, const TImageRejection& refusal,
                   const TConnectedVariant& device);
    // The reason no device answers, for a failed connection.
    std::string NotConnectedReason(const TConnectError& error);

    // Reports the result event with the exit code and its outcome's name.
    int Finish(TExit exit, TEvent event);
    int Finish(int exit, TEvent event);

    const TCliOptions& Options;
    TCliServices& Services;
    // Once the one device of a command answers, every event names it.
    TTaggedReporter Tagged;
    IReporter& Report;
    TDeviceConnector Connector;
    std::optional<TSettings> Settings;
};

} // namespace qor::cli
