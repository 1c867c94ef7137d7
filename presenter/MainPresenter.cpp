#include "presenter/MainPresenter.h"

#include "flow/ImageChecks.h"
#include "flow/ServiceRecord.h"
#include "presenter/DevicePanel.h"
#include "presenter/DisplayRefresh.h"
#include "presenter/FirmwareLoading.h"
#include "presenter/UpdateRun.h"

namespace qor {

TMainPresenter::TMainPresenter(IDevicePort& port, IMessageBox& messages, const TSettings& settings)
    : Port(port), Monitor(port), Messages(messages), Settings(settings) {
}

void TMainPresenter::SerialTick() {
    const TDeviceStatus status = Monitor.Tick(Model.UpdateRunning);
    ShowDeviceStatus(Model, status, Language());
    Model.View.LQORStatusTip = StatusTip(status);
}

std::string TMainPresenter::StatusTip(const TDeviceStatus& status) {
    switch (status.State) {
    case TDeviceState::NotFound:
        // The system cannot list any device (a driver missing), as far as it can tell.
        return Port.Unavailable();
    case TDeviceState::Connecting:
        if (!status.OpenError.empty()) {
            return status.OpenError;
        }
        // A bootloader that answered something is running: say what went wrong instead.
        if (status.QueryFailure && status.QueryFailure->Answered()) {
            return "The bootloader answered, but " + status.QueryFailure->Describe();
        }
        return {};
    case TDeviceState::Connected:
        break;
    }
    // Which unit it is, and what it did not report.
    std::string tip = DescribePort(Monitor.Link().PortName(), Monitor.Link().PortSerial());
    if (const std::string unreported = UnreportedValues(status.Info); !unreported.empty()) {
        tip += "\nThe device did not report " + unreported;
    }
    return tip;
}

void TMainPresenter::DisplayTick() {
    DisplayTimerTick(Model, Monitor.BootloaderReady(), Language());
}

TConnectedVariant TMainPresenter::ConnectedVariant() const {
    return qor::ConnectedVariant(Monitor);
}

bool TMainPresenter::OpenLocalFirmware(const std::string& path) {
    return qor::OpenLocalFirmware(path, ConnectedVariant(), Model, Language(), Messages);
}

bool TMainPresenter::AcceptDownload(std::optional<TDownloadedImage> downloaded) {
    return AcceptDownloadedFirmware(std::move(downloaded), ConnectedVariant(), Model, Language(),
                                    Messages);
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
