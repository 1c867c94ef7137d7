#include "presenter/DevicePanel.h"

#include <algorithm>
#include <string>

#include "base/TextTable.h"
#include "flow/DeviceSummary.h"

namespace qor {
namespace {

constexpr std::size_t MaxDots = 3;

// Assigned in place: the label's text keeps its storage from tick to tick.
void Show(TLabelView& label, const char* text, TColour colour) {
    label.Text = text;
    label.Colour = colour;
}

void ShowUnknownValues(TMainView& view) {
    view.LQORBootldrVersion.Text = UnknownValue;
    view.LQORFWVersion.Text = UnknownValue;
    Show(view.LQORChecksum, UnknownValue, TColour::WindowText);
}

void NotFound(TMainModel& model, std::uint8_t language) {
    TMainView& view = model.View;
    Show(view.LQORStatus, Txt(TxtNotConnected, language), TColour::Maroon);
    ShowUnknownValues(view);
    view.BFlash = false;
    view.BSwitchOff = false;
    model.DiscardImage();
    if (model.BlinkCountdown != 0) {
        return;
    }
    view.ImgNotConnected = !view.ImgNotConnected;
    view.ImgSearch = false;
    view.ImgFlash = false;
    model.BlinkCountdown = BlinkReload;
}

void Connecting(TMainModel& model, std::uint8_t language) {
    TMainView& view = model.View;
    Show(view.LQORStatus, Txt(TxtConnecting, language), TColour::Maroon);
    view.LQORStatus.Text.append(std::min<std::size_t>(model.AnimCounter / AnimTicksPerDot, MaxDots),
                                '.');
    ShowUnknownValues(view);
    view.BFlash = false;
    view.BSwitchOff = false;
    if (model.BlinkCountdown == 0) {
        view.ImgSearch = !view.ImgSearch;
        view.ImgNotConnected = false;
        view.ImgFlash = false;
        model.BlinkCountdown = BlinkReload;
    }
}

void Connected(TMainModel& model, const TDeviceInfo& info, std::uint8_t language) {
    TMainView& view = model.View;
    Show(view.LQORStatus, Txt(TxtConnected, language), TColour::Green);
    view.ImgSearch = false;
    view.ImgNotConnected = false;

    const TDeviceSummary summary = SummariseDevice(info);
    view.LQORBootldrVersion.Text = summary.BootloaderVersion;
    // An unknown geometry counts as another device: no image fits it.
    model.DeviceVariant = summary.Variant ? summary.Variant->Kind() : TVariantKind::Other;
    view.LQORFWVersion.Text = summary.FirmwareVersion;
    view.LQORChecksum = summary.ChecksumValid
                            ? TLabelView{Txt(TxtValid, language), TColour::Green}
                            : TLabelView{Txt(TxtInvalid, language), TColour::Maroon};
}

} // namespace

void ShowDeviceStatus(TMainModel& model, const TDeviceStatus& status, std::uint8_t language) {
    switch (status.State) {
    case TDeviceState::NotFound:
        NotFound(model, language);
        break;
    case TDeviceState::Connecting:
        Connecting(model, language);
        break;
    case TDeviceState::Connected:
        Connected(model, status.Info, language);
        break;
    }
}

} // namespace qor
