#include "presenter/MainPresenter.h"

#include "presenter/DevicePanel.h"
#include "presenter/DisplayRefresh.h"
#include "presenter/FirmwareLoading.h"
#include "presenter/ImageChecks.h"
#include "presenter/ServiceRecord.h"
#include "presenter/UpdateRun.h"

namespace qor {

TMainPresenter::TMainPresenter(IDevicePort& port, IMessageBox& messages, const TSettings& settings)
    : Port(port), Monitor(port), Messages(messages), Settings(settings) {
}

void TMainPresenter::SerialTick() {
    const TDeviceStatus status = Monitor.Tick(Model.UpdateRunning);
    ShowDeviceStatus(Model, status, Language());
    // Why the device is not there, as far as the program can tell: its port will not open,
    // or the system cannot list any (a driver missing). A device that is there: which unit.
    if (status.State == TDeviceState::NotFound) {
        Model.View.LQORStatusTip = Port.Unavailable();
    } else if (!status.OpenError.empty()) {
        Model.View.LQORStatusTip = status.OpenError;
    } else {
        Model.View.LQORStatusTip =
            DescribePort(Monitor.Link().PortName(), Monitor.Link().PortSerial());
    }
}

void TMainPresenter::DisplayTick() {
    DisplayTimerTick(Model, Monitor.BootloaderReady(), Language());
}

std::optional<TDeviceVariant> TMainPresenter::ConnectedVariant() const {
    return qor::ConnectedVariant(Monitor);
}

bool TMainPresenter::OpenLocalFirmware(const std::string& path) {
    return qor::OpenLocalFirmware(path, ConnectedVariant(), Model, Language(), Messages);
}

bool TMainPresenter::AcceptDownload(bool downloadOK, const std::string& tempFilePath,
                                    std::span<const std::uint8_t> body, const std::string& source) {
    return AcceptDownloadedFirmware(downloadOK, tempFilePath, body, source, ConnectedVariant(),
                                    Model, Language(), Messages);
}

TUpdateOutcome TMainPresenter::Update(IUpdateHost& host) {
    TUpdateRun run(Model, Monitor, host, Messages, Recorder);
    return run.Run(Language());
}

void TMainPresenter::PowerOff() {
    // The device is switched off either way, or the search shows it still there.
    (void)Monitor.Bootloader().PowerOff();
}

} // namespace qor
