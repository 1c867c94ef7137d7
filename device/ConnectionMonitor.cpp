#include "device/ConnectionMonitor.h"

#include <algorithm>
#include <string>

#include "base/TextTable.h"
#include "base/Windows1252.h"
#include "device/Protocol.h"

namespace qor {
namespace {

constexpr std::size_t MaxDots = 3;

void ShowUnknownValues(TMainView& view) {
    view.LQORBootldrVersion.Text = UnknownValue;
    view.LQORFWVersion.Text = UnknownValue;
    view.LQORChecksum = {UnknownValue, TColour::WindowText};
}

void NotFound(TMainState& state, TBootloader& boot, std::uint8_t language) {
    TMainView& view = state.View;
    view.LQORStatus.Text = Txt(TxtNotConnected, language);
    view.LQORStatus.Colour = TColour::Maroon;
    ShowUnknownValues(view);
    view.BFlash = false;
    view.BSwitchOff = false;
    boot.BootloaderReady = false;
    state.DiscardImage();
    if (state.BlinkCountdown != 0) {
        return;
    }
    view.ImgNotConnected = !view.ImgNotConnected;
    view.ImgSearch = false;
    view.ImgFlash = false;
    state.BlinkCountdown = BlinkReload;
}

void Connecting(TMainState& state, TBootloader& boot, std::uint8_t language) {
    TMainView& view = state.View;
    view.LQORStatus.Text = Txt(TxtConnecting, language);
    view.LQORStatus.Text.append(std::min<std::size_t>(state.AnimCounter / AnimTicksPerDot, MaxDots),
                                '.');
    view.LQORStatus.Colour = TColour::Maroon;
    ShowUnknownValues(view);
    view.BFlash = false;
    view.BSwitchOff = false;
    if (state.QueryCountdown > 0) {
        --state.QueryCountdown;
        if (state.QueryCountdown == 0) {
            boot.QueryBootloader();
            state.QueryCountdown = QueryReload;
        }
    }
    if (state.BlinkCountdown == 0) {
        view.ImgSearch = !view.ImgSearch;
        view.ImgNotConnected = false;
        view.ImgFlash = false;
        state.BlinkCountdown = BlinkReload;
    }
    state.PollCountdown = PollReload;
}

void Connected(TMainState& state, TBootloader& boot, std::uint8_t language) {
    TMainView& view = state.View;
    const TDeviceValues& values = boot.Values;
    view.LQORStatus.Text = Txt(TxtConnected, language);
    view.LQORStatus.Colour = TColour::Green;
    view.ImgSearch = false;
    view.ImgNotConnected = false;

    std::string& version = view.LQORBootldrVersion.Text;
    version = std::to_string(values.BootVersionMajor);
    version += '.';
    version += std::to_string(values.BootVersionMinor);
    if (values.PageSize == VariantAPageSize && values.PageCount == VariantAPageCount) {
        state.DeviceVariant = DeviceVariantA;
        version += 'a';
    } else if (values.PageSize == VariantBPageSize && values.PageCount == VariantBPageCount) {
        state.DeviceVariant = DeviceVariantB;
        version += 'b';
    } else {
        state.DeviceVariant = DeviceVariantOther;
    }

    // The firmware version is shown only for firmware whose checksums agree.
    if (values.DeviceChecksum1 == values.DeviceChecksum2 && values.PageSize != 0) {
        view.LQORFWVersion.Text = Windows1252ToUtf8(values.DeviceFWVersion);
        view.LQORChecksum = {Txt(TxtValid, language), TColour::Green};
    } else {
        view.LQORFWVersion.Text = UnknownValue;
        view.LQORChecksum = {Txt(TxtInvalid, language), TColour::Maroon};
    }

    // The keep-alive stays off the wire while an update is writing.
    if (state.PollCountdown > 0) {
        --state.PollCountdown;
    }
    if (!state.UpdateRunning && state.PollCountdown == 0) {
        boot.PollBootloader();
        state.PollCountdown = PollReload;
    }
}

} // namespace

void SerialTimerTick(TMainState& state, TDeviceLink& link, TBootloader& boot,
                     std::uint8_t language) {
    link.Upkeep();
    if (link.DeviceIndex == -1) {
        NotFound(state, boot, language);
    } else if (!boot.BootloaderReady) {
        Connecting(state, boot, language);
    } else {
        Connected(state, boot, language);
    }
}

} // namespace qor
