// The one writer of what the main window shows, and the behaviour behind its controls: the
// two timers' ticks, loading an image, the update and power off. Qt-free, so every rule is
// tested without a window; the window calls it from its handlers and copies View() onto its
// widgets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/MessageBox.h"
#include "base/Settings.h"
#include "device/ConnectionMonitor.h"
#include "device/DevicePort.h"
#include "device/UpdateSession.h"
#include "download/FirmwareDownload.h"
#include "firmware/DeviceVariant.h"
#include "flow/ImageChecks.h"
#include "presenter/MainModel.h"
#include "presenter/UpdateRun.h"

namespace qor {

class TMainPresenter {
public:
    // `settings` supplies the language each text is looked up in, at the moment it is shown.
    TMainPresenter(IDevicePort& port, IMessageBox& messages, const TSettings& settings);

    // The serial timer's tick: the connection monitor and the device panel.
    void SerialTick();
    // The display timer's tick: buttons, the file panel, the update's result and progress,
    // the step highlight and the indicator marks.
    void DisplayTick();

    // Open: `path` as the open dialog returned it.
    bool OpenLocalFirmware(const std::string& path);
    // After the download dialog: the image it downloaded, if it did.
    bool AcceptDownload(std::optional<TDownloadedImage> downloaded);
    // Update: writes the loaded image, letting `host` run messages between the exchanges.
    // Refused (nothing done) without an image or while an update runs; an image that no
    // longer fits the device connected now is reported and discarded before anything is sent.
    TUpdateOutcome Update(IUpdateHost& host);
    // Power off: one power-off request; the reply does not matter.
    void PowerOff();

    // Where the records of the updates go; none: no records are kept.
    void SetRecorder(IServiceRecorder* recorder) { Recorder = recorder; }

    // The close question's answer; an update running stops before its next block.
    void SetCloseConfirmed(bool confirmed) { Model.CloseConfirmed = confirmed; }

    const TMainView& View() const { return Model.View; }
    const TMainModel& State() const { return Model; }
    bool UpdateRunning() const { return Model.UpdateRunning; }
    bool BootloaderReady() const { return Monitor.BootloaderReady(); }
    TVariantKind DeviceVariant() const { return Model.DeviceVariant; }
    // The device connected now; none while its bootloader does not answer or did not report
    // its geometry.
    TConnectedVariant ConnectedVariant() const;
    TConnectionMonitor& Device() { return Monitor; }

private:
    std::uint8_t Language() const { return Settings.CfgLanguage; }
    // What the status line's tooltip adds: why a device is missing or not connected, or what
    // a connected one did not report.
    std::string StatusTip(const TDeviceStatus& status);

    IDevicePort& Port;
    TConnectionMonitor Monitor;
    IMessageBox& Messages;
    const TSettings& Settings;
    IServiceRecorder* Recorder = nullptr;
    TMainModel Model;
};

} // namespace qor
