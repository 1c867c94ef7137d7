#include "demo/TDemoControlForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "demo/DemoRig.h"
#include "device/Protocol.h"
#include "firmware/DeviceVariant.h"

using namespace qor;

namespace {

constexpr int RefreshMs = 250;
// Long enough for the window's monitor (100 ms ticks) to see the old device go.
constexpr int ReplugDelayMs = 600;
constexpr int WindowGap = 8;
// The last block of a variant-b image.
constexpr int MaxBlock =
    static_cast<int>(std::size_t{VariantBPageSize} * VariantBPageCount / BlockSize) - 1;

// Widgets and layouts belong to the Qt parent they are made with or added to, which deletes
// them.
template <typename T, typename... TArgs> T* Owned(TArgs&&... args) {
    return new T(std::forward<TArgs>(args)...); // NOLINT(cppcoreguidelines-owning-memory)
}

QPushButton* Button(const QString& text, QWidget* parent, const char* name) {
    auto* button = Owned<QPushButton>(text, parent);
    button->setObjectName(name);
    return button;
}

} // namespace

TDemoControlForm::TDemoControlForm(TDemoRig& rig, QWidget* parent)
    : QWidget(parent, Qt::Window), Rig(rig) {
    setObjectName("DemoControlForm");
    setWindowTitle("QOR 7316 demo device");
    // The demo ends with the main window, as the product does.
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = Owned<QVBoxLayout>(this);
    layout->addWidget(MakeDeviceGroup());
    layout->addWidget(MakeFaultGroup());
    layout->addWidget(MakeWireGroup());
    layout->addWidget(MakeServerGroup());
    layout->addStretch();

    connect(&RefreshTimer, &QTimer::timeout, this, &TDemoControlForm::RefreshTimerTimer);
    RefreshTimer.start(RefreshMs);
    ReplugTimer.setSingleShot(true);
    connect(&ReplugTimer, &QTimer::timeout, this, &TDemoControlForm::BPlugClick);
    PowerOnTimer.setSingleShot(true);
    connect(&PowerOnTimer, &QTimer::timeout, this, [this] {
        Rig.SwitchOn(PendingMode);
        RefreshTimerTimer();
    });
    FaultKindChosen(0);
    RefreshTimerTimer();
}

QWidget* TDemoControlForm::MakeDeviceGroup() {
    auto* group = Owned<QGroupBox>("Device", this);
    auto* layout = Owned<QVBoxLayout>(group);
    LDeviceState = Owned<QLabel>(group);
    LDeviceState->setObjectName("LDeviceState");
    LDeviceState->setWordWrap(true);
    LDeviceState->setMinimumHeight(2 * LDeviceState->fontMetrics().height());
    layout->addWidget(LDeviceState);

    auto* cable = Owned<QHBoxLayout>();
    cable->addWidget(Owned<QLabel>("USB cable:", group));
    BPlug = Button("Plug in", group, "BPlug");
    BUnplug = Button("Unplug", group, "BUnplug");
    cable->addWidget(BPlug);
    cable->addWidget(BUnplug);
    layout->addLayout(cable);

    auto* power = Owned<QHBoxLayout>();
    BBootloader = Button("On with F2 + F4 (bootloader)", group, "BBootloader");
    BApplication = Button("On (application)", group, "BApplication");
    BSwitchOff = Button("Off", group, "BSwitchOff");
    power->addWidget(BBootloader);
    power->addWidget(BApplication);
    power->addWidget(BSwitchOff);
    layout->addLayout(power);

    auto* variants = Owned<QHBoxLayout>();
    variants->addWidget(Owned<QLabel>("Variant:", group));
    Variants = Owned<QButtonGroup>(group);
    const char* names[] = {"a (512 x 124)", "b (1024 x 126)", "other (256 x 128)"};
    for (int id = 0; id < 3; ++id) {
        auto* radio = Owned<QRadioButton>(names[id], group);
        radio->setObjectName(QString("RVariant%1").arg(id));
        Variants->addButton(radio, id);
        variants->addWidget(radio);
    }
    Variants->button(static_cast<int>(Rig.Variant()))->setChecked(true);
    layout->addLayout(variants);

    auto* flash = Owned<QHBoxLayout>();
    flash->addWidget(Owned<QLabel>("Flash:", group));
    BErase = Button("Erase (no application)", group, "BErase");
    flash->addWidget(BErase);
    flash->addStretch();
    layout->addLayout(flash);
    layout->addLayout(MakeReplyCodeRow(group));
    layout->addLayout(MakeReplyChoiceRow(group));

    connect(BPlug, &QPushButton::clicked, this, &TDemoControlForm::BPlugClick);
    connect(BUnplug, &QPushButton::clicked, this, &TDemoControlForm::BUnplugClick);
    connect(BBootloader, &QPushButton::clicked, this, &TDemoControlForm::BBootloaderClick);
    connect(BApplication, &QPushButton::clicked, this, &TDemoControlForm::BApplicationClick);
    connect(BSwitchOff, &QPushButton::clicked, this, &TDemoControlForm::BSwitchOffClick);
    connect(Variants, &QButtonGroup::idClicked, this, &TDemoControlForm::VariantChosen);
    connect(BErase, &QPushButton::clicked, this, &TDemoControlForm::BEraseClick);
    return group;
}

// The freedoms the protocol leaves the bootloader: which code acknowledges, and which code
// answers the version request.
QLayout* TDemoControlForm::MakeReplyCodeRow(QWidget* group) {
    auto* row = Owned<QHBoxLayout>();
    CBAckCode = Owned<QComboBox>(group);
    CBAckCode->setObjectName("CBAckCode");
    CBAckCode->addItem("the request's own", AckWithRequestCode);
    for (int code = FirstAcknowledgementCode; code <= LastGoodReplyCode; ++code) {
        CBAckCode->addItem(QString::number(code), code);
    }
    CBAckCode->setCurrentIndex(CBAckCode->findData(Rig.AckCode()));
    CBVersionReplyCode = Owned<QComboBox>(group);
    CBVersionReplyCode->setObjectName("CBVersionReplyCode");
    for (int code = 0; code <= LastGoodReplyCode; ++code) {
        CBVersionReplyCode->addItem(QString::number(code), code);
    }
    CBVersionReplyCode->setCurrentIndex(CBVersionReplyCode->findData(Rig.VersionReplyCode()));
    row->addWidget(Owned<QLabel>("Acknowledges with code:", group));
    row->addWidget(CBAckCode);
    row->addWidget(Owned<QLabel>("Version reply code:", group));
    row->addWidget(CBVersionReplyCode);
    row->addStretch();
    connect(CBAckCode, &QComboBox::currentIndexChanged, this, &TDemoControlForm::AckCodeChosen);
    connect(CBVersionReplyCode, &QComboBox::currentIndexChanged, this,
            &TDemoControlForm::VersionReplyCodeChosen);
    return row;
}

// More of those freedoms: the queries' replies swapped in pairs, and data replies where an
// acknowledgement is expected.
QLayout* TDemoControlForm::MakeReplyChoiceRow(QWidget* group) {
    auto* row = Owned<QHBoxLayout>();
    CBSwapQueryReplies = Owned<QCheckBox>("Swaps the query replies", group);
    CBSwapQueryReplies->setObjectName("CBSwapQueryReplies");
    CBSwapQueryReplies->setChecked(Rig.SwapQueryReplies());
    CBDataAcknowledgements = Owned<QCheckBox>("Acknowledges with data replies", group);
    CBDataAcknowledgements->setObjectName("CBDataAcknowledgements");
    CBDataAcknowledgements->setChecked(Rig.DataAcknowledgements());
    row->addWidget(CBSwapQueryReplies);
    row->addWidget(CBDataAcknowledgements);
    row->addStretch();
    connect(CBSwapQueryReplies, &QCheckBox::toggled, this,
            &TDemoControlForm::SwapQueryRepliesToggled);
    connect(CBDataAcknowledgements, &QCheckBox::toggled, this,
            &TDemoControlForm::DataAcknowledgementsToggled);
    return row;
}

QWidget* TDemoControlForm::MakeFaultGroup() {
    auto* group = Owned<QGroupBox>("Inject one fault", this);
    auto* form = Owned<QFormLayout>(group);
    CBFaultKind = Owned<QComboBox>(group);
    CBFaultKind->setObjectName("CBFaultKind");
    for (const TFaultKindInfo& kind : DemoFaultKinds()) {
        CBFaultKind->addItem(kind.Name);
    }
    form->addRow("What:", CBFaultKind);

    CBFaultRequest = Owned<QComboBox>(group);
    CBFaultRequest->setObjectName("CBFaultRequest");
    for (const auto& request : DemoFaultRequests()) {
        CBFaultRequest->addItem(request.Name);
    }
    form->addRow("On the:", CBFaultRequest);

    auto* block = Owned<QHBoxLayout>();
    CBWriteBlock = Owned<QCheckBox>("write of block no.", group);
    CBWriteBlock->setObjectName("CBWriteBlock");
    SEBlock = Owned<QSpinBox>(group);
    SEBlock->setObjectName("SEBlock");
    SEBlock->setRange(0, MaxBlock);
    SEBlock->setValue(17);
    SEBlock->setEnabled(false);
    block->addWidget(CBWriteBlock);
    block->addWidget(SEBlock);
    block->addStretch();
    form->addRow("Or:", block);

    LParam = Owned<QLabel>(group);
    SEParam = Owned<QSpinBox>(group);
    SEParam->setObjectName("SEParam");
    SEParam->setRange(0, 20000);
    form->addRow(LParam, SEParam);

    auto* buttons = Owned<QHBoxLayout>();
    auto* inject = Button("Inject", group, "BInject");
    auto* clear = Button("Clear", group, "BClearFaults");
    LFaults = Owned<QLabel>(group);
    LFaults->setObjectName("LFaults");
    buttons->addWidget(inject);
    buttons->addWidget(clear);
    buttons->addWidget(LFaults, 1);
    form->addRow(buttons);

    connect(CBFaultKind, &QComboBox::currentIndexChanged, this, &TDemoControlForm::FaultKindChosen);
    connect(CBWriteBlock, &QCheckBox::toggled, SEBlock, &QSpinBox::setEnabled);
    connect(CBWriteBlock, &QCheckBox::toggled, CBFaultRequest,
            [this](bool on) { CBFaultRequest->setEnabled(!on); });
    connect(inject, &QPushButton::clicked, this, &TDemoControlForm::BInjectClick);
    connect(clear, &QPushButton::clicked, this, &TDemoControlForm::BClearFaultsClick);
    return group;
}

QWidget* TDemoControlForm::MakeWireGroup() {
    auto* group = Owned<QGroupBox>("Serial line", this);
    auto* form = Owned<QFormLayout>(group);
    CBWireTiming = Owned<QCheckBox>("Wire timing (10 bits a byte at 500000 baud)", group);
    CBWireTiming->setObjectName("CBWireTiming");
    CBWireTiming->setChecked(Rig.WireTiming());
    form->addRow(CBWireTiming);
    SETurnaround = Owned<QSpinBox>(group);
    SETurnaround->setObjectName("SETurnaround");
    SETurnaround->setRange(0, static_cast<int>(TDemoOptions::MaxTurnaroundMs));
    SETurnaround->setSuffix(" ms");
    SETurnaround->setValue(static_cast<int>(Rig.TurnaroundMs()));
    SETurnaround->setEnabled(Rig.WireTiming());
    form->addRow("Device's pause before each reply:", SETurnaround);
    connect(CBWireTiming, &QCheckBox::toggled, this, &TDemoControlForm::WireTimingToggled);
    connect(SETurnaround, &QSpinBox::valueChanged, this, &TDemoControlForm::TurnaroundChanged);
    return group;
}

QWidget* TDemoControlForm::MakeServerGroup() {
    auto* group = Owned<QGroupBox>("Firmware server", this);
    auto* layout = Owned<QVBoxLayout>(group);
    LServer = Owned<QLabel>(group);
    LServer->setObjectName("LServer");
    LServer->setWordWrap(true);
    LServer->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LServed = Owned<QLabel>("Nothing served yet.", group);
    LServed->setObjectName("LServed");
    LServed->setWordWrap(true);
    layout->addWidget(LServer);
    layout->addWidget(LServed);
    if (Rig.ServerRunning()) {
        const QString base = QString("http://127.0.0.1:%1/").arg(Rig.ServerPort());
        LServer->setText(QString("%1qor-7316-a.bin and %1qor-7316-b.bin, version %2a and %2b")
                             .arg(base, DemoServerVersion));
    } else {
        LServer->setText("Not running: the download will fail.");
    }
    return group;
}

void TDemoControlForm::PlaceBeside(const QWidget& main) {
    const QRect outer = main.frameGeometry();
    move(outer.right() + 1 + WindowGap, outer.top());
}

void TDemoControlForm::BPlugClick() {
    Rig.Plug();
    RefreshTimerTimer();
}

void TDemoControlForm::BUnplugClick() {
    ReplugTimer.stop();
    Rig.Unplug();
    RefreshTimerTimer();
}

void TDemoControlForm::SwitchOnIn(TDeviceMode mode) {
    if (Rig.Device().Mode() == TDeviceMode::Off) {
        Rig.SwitchOn(mode);
    } else {
        Rig.SwitchOff();
        PendingMode = mode;
        PowerOnTimer.start(ReplugDelayMs);
    }
    RefreshTimerTimer();
}

void TDemoControlForm::BBootloaderClick() {
    SwitchOnIn(TDeviceMode::Bootloader);
}

void TDemoControlForm::BApplicationClick() {
    SwitchOnIn(TDeviceMode::Application);
}

void TDemoControlForm::BSwitchOffClick() {
    PowerOnTimer.stop();
    Rig.SwitchOff();
    RefreshTimerTimer();
}

void TDemoControlForm::VariantChosen(int id) {
    const auto variant = static_cast<TDemoVariant>(id);
    if (variant == Rig.Variant()) {
        return;
    }
    if (Rig.SwapVariant(variant)) {
        ReplugTimer.start(ReplugDelayMs);
    }
    RefreshTimerTimer();
}

void TDemoControlForm::BEraseClick() {
    if (Rig.EraseFlash()) {
        ReplugTimer.start(ReplugDelayMs);
    }
    RefreshTimerTimer();
}

void TDemoControlForm::FaultKindChosen(int index) {
    const char* param = DemoFaultKinds().at(static_cast<std::size_t>(index)).ParamName;
    LParam->setText(param != nullptr ? QString(param) + ":" : QString("Parameter:"));
    SEParam->setEnabled(param != nullptr);
}

void TDemoControlForm::AckCodeChosen(int index) {
    Rig.SetAckCode(static_cast<std::uint8_t>(CBAckCode->itemData(index).toInt()));
}

void TDemoControlForm::VersionReplyCodeChosen(int index) {
    Rig.SetVersionReplyCode(static_cast<std::uint8_t>(CBVersionReplyCode->itemData(index).toInt()));
}

void TDemoControlForm::SwapQueryRepliesToggled(bool on) {
    Rig.SetSwapQueryReplies(on);
}

void TDemoControlForm::DataAcknowledgementsToggled(bool on) {
    Rig.SetDataAcknowledgements(on);
}

void TDemoControlForm::BInjectClick() {
    TDemoFaultChoice choice;
    choice.Kind = DemoFaultKinds().at(static_cast<std::size_t>(CBFaultKind->currentIndex())).Kind;
    choice.Code =
        DemoFaultRequests().at(static_cast<std::size_t>(CBFaultRequest->currentIndex())).Value;
    if (CBWriteBlock->isChecked()) {
        choice.Block = static_cast<std::uint32_t>(SEBlock->value());
    }
    choice.Param = SEParam->isEnabled() ? static_cast<std::uint32_t>(SEParam->value()) : 0;
    Rig.InjectFault(choice);
    RefreshTimerTimer();
}

void TDemoControlForm::BClearFaultsClick() {
    Rig.ClearFaults();
    RefreshTimerTimer();
}

void TDemoControlForm::WireTimingToggled(bool on) {
    Rig.SetWireTiming(on);
    SETurnaround->setEnabled(on);
}

void TDemoControlForm::TurnaroundChanged(int ms) {
    Rig.SetTurnaroundMs(static_cast<std::uint32_t>(ms));
}

void TDemoControlForm::RefreshTimerTimer() {
    const TVirtualDevice& device = Rig.Device();
    const QString state = QString::fromLatin1(Rig.DeviceStateText());
    if (LDeviceState->text() != state) {
        LDeviceState->setText(state);
    }
    const bool swapping = ReplugTimer.isActive();
    BPlug->setEnabled(!device.Plugged() && !swapping);
    BUnplug->setEnabled(device.Plugged() || swapping);
    const bool cycling = PowerOnTimer.isActive();
    BBootloader->setEnabled(device.Mode() != TDeviceMode::Bootloader && !cycling);
    BApplication->setEnabled(device.Mode() != TDeviceMode::Application && !cycling);
    BSwitchOff->setEnabled(device.Mode() != TDeviceMode::Off || cycling);
    LFaults->setText(QString("%1 waiting").arg(Rig.PendingFaults()));
    for (const TServedRequest& served : Rig.TakeServedRequests()) {
        LServed->setText(
            QString("Last: %1 %2 \xe2\x86\x92 %3 (%4 bytes)")
                .arg(QString::fromStdString(served.Method), QString::fromStdString(served.Target))
                .arg(served.Status)
                .arg(served.BodyBytes));
    }
}
