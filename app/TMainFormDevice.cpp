// The main window's handlers of the device link: the two timers, Update and Power off.
#include <QCoreApplication>

#include "app/TMainForm.h"
#include "ui_TMainForm.h"

void TMainForm::SerialTimerTimer() {
    Main.SerialTick();
    // A device that is listed but cannot be opened stays "Connecting"; the reason (often a
    // missing permission on Linux) is kept where the user can find it.
    const QString reason = QString::fromStdString(Main.OpenError());
    if (Ui->LQORStatus->toolTip() != reason) {
        Ui->LQORStatus->setToolTip(reason);
    }
    Render();
}

void TMainForm::DisplayTimerTimer() {
    Main.DisplayTick();
    Render();
}

void TMainForm::BFlashClick() {
    Main.Update(*this);
    Render();
}

void TMainForm::BSwitchOffClick() {
    Main.PowerOff();
}

void TMainForm::ProcessMessages() {
    Render();
    QCoreApplication::processEvents();
}

void TMainForm::ProcessMessagesWhileWaiting() {
    ProcessMessages();
}
