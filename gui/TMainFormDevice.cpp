// The main window's handlers of the device link: the two timers, Update and Power off.
#include <QCoreApplication>

#include "gui/TMainForm.h"
#include "ui_TMainForm.h"

void TMainForm::SerialTimerTimer() {
    Main.SerialTick();
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
