// The main window's handlers of the device link: the two timers, Update and Power off.
#include <QCoreApplication>

#include "app/TMainForm.h"
#include "device/ConnectionMonitor.h"
#include "device/DisplayRefresh.h"
#include "device/UpdateProcedure.h"
#include "ui_TMainForm.h"

void TMainForm::SerialTimerTimer() {
    qor::SerialTimerTick(Main, DeviceLink, Boot, Cfg.CfgLanguage);
    // A device that is listed but cannot be opened stays "Connecting"; the reason (often a
    // missing permission on Linux) is kept where the user can find it.
    const QString reason = QString::fromStdString(DeviceLink.LastOpenError());
    if (Ui->LQORStatus->toolTip() != reason) {
        Ui->LQORStatus->setToolTip(reason);
    }
    Render();
}

void TMainForm::DisplayTimerTimer() {
    qor::DisplayTimerTick(Main, Boot.BootloaderReady, Cfg.CfgLanguage);
    Render();
}

void TMainForm::BFlashClick() {
    qor::BFlashClick(Main, DeviceLink, Boot, *this, Services.Messages);
    Render();
}

void TMainForm::BSwitchOffClick() {
    qor::BSwitchOffClick(Boot);
}

void TMainForm::ProcessMessages() {
    Render();
    QCoreApplication::processEvents();
}
