#include "device/ConnectionMonitor.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "app/TextTable.h"
#include "device/Protocol.h"

namespace qor {
namespace {

constexpr std::uint32_t AnimStepsPerDot = 10;
constexpr std::size_t MaxDots = 3;

// The device's version bytes are Windows-1252; the display model holds UTF-8.
void AppendWindows1252(std::string& out, std::string_view text) {
    // Code points of 0x80..0x9F; the five undefined bytes map to the C1 control of the same
    // number, as Windows does.
    static constexpr char16_t High[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t cp = byte >= 0x80 && byte < 0xA0 ? High[byte - 0x80] : byte;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
}

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
    view.LQORStatus.Text.append(std::min<std::size_t>(state.AnimCounter / AnimStepsPerDot, MaxDots),
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
        state.DeviceVariant = 0;
        version += 'a';
    } else if (values.PageSize == VariantBPageSize && values.PageCount == VariantBPageCount) {
        state.DeviceVariant = 1;
        version += 'b';
    } else {
        state.DeviceVariant = 2;
    }

    // The firmware version is shown only for firmware whose checksums agree.
    if (values.DeviceChecksum1 == values.DeviceChecksum2 && values.PageSize != 0) {
        view.LQORFWVersion.Text.clear();
        AppendWindows1252(view.LQORFWVersion.Text, values.DeviceFWVersion);
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
