// The demo's control window, beside the main window: the cable, the power switch (with the
// F2 + F4 bootloader start), the variant, one fault to inject, the wire timing, and what the
// firmware server has served.
#pragma once

#include <QTimer>
#include <QWidget>

#include "sim/VirtualDevice.h"

namespace qor {
class TDemoRig;
}
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLayout;
class QPushButton;
class QSpinBox;

class TDemoControlForm : public QWidget {
    Q_OBJECT
public:
    explicit TDemoControlForm(qor::TDemoRig& rig, QWidget* parent = nullptr);

    // Puts this window to the right of `main`, top edges level.
    void PlaceBeside(const QWidget& main);

    void BPlugClick();
    void BUnplugClick();
    void BBootloaderClick();
    void BApplicationClick();
    void BSwitchOffClick();
    void VariantChosen(int id);
    void BEraseClick();
    void BInjectClick();
    void BClearFaultsClick();
    void WireTimingToggled(bool on);
    void TurnaroundChanged(int ms);
    void FaultKindChosen(int index);
    void AckCodeChosen(int index);
    void VersionReplyCodeChosen(int index);
    void SwapQueryRepliesToggled(bool on);
    void DataAcknowledgementsToggled(bool on);
    void RefreshTimerTimer();

private:
    // Switching from one mode to the other is switching off and on again: the device leaves
    // the bus for a moment, long enough for the window to see it go.
    void SwitchOnIn(qor::TDeviceMode mode);
    QWidget* MakeDeviceGroup();
    QLayout* MakeReplyCodeRow(QWidget* group);
    QLayout* MakeReplyChoiceRow(QWidget* group);
    QWidget* MakeFaultGroup();
    QWidget* MakeWireGroup();
    QWidget* MakeServerGroup();

    qor::TDemoRig& Rig;
    QLabel* LDeviceState = nullptr;
    QPushButton* BPlug = nullptr;
    QPushButton* BUnplug = nullptr;
    QPushButton* BBootloader = nullptr;
    QPushButton* BApplication = nullptr;
    QPushButton* BSwitchOff = nullptr;
    QButtonGroup* Variants = nullptr;
    QPushButton* BErase = nullptr;
    QComboBox* CBAckCode = nullptr;
    QComboBox* CBVersionReplyCode = nullptr;
    QCheckBox* CBSwapQueryReplies = nullptr;
    QCheckBox* CBDataAcknowledgements = nullptr;
    QComboBox* CBFaultKind = nullptr;
    QComboBox* CBFaultRequest = nullptr;
    QCheckBox* CBWriteBlock = nullptr;
    QSpinBox* SEBlock = nullptr;
    QLabel* LParam = nullptr;
    QSpinBox* SEParam = nullptr;
    QLabel* LFaults = nullptr;
    QCheckBox* CBWireTiming = nullptr;
    QSpinBox* SETurnaround = nullptr;
    QLabel* LServer = nullptr;
    QLabel* LServed = nullptr;
    QTimer RefreshTimer;
    QTimer ReplugTimer;
    QTimer PowerOnTimer;
    qor::TDeviceMode PendingMode = qor::TDeviceMode::Off;
};
