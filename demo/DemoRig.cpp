#include "demo/DemoRig.h"

#include <algorithm>
#include <memory>

#include "device/Protocol.h"

namespace qor {
namespace {

// A device of neither known variant: 256-byte pages, 128 of them.
constexpr TBootloaderConfig OtherVariant{PageSizeCode256, 128};
static_assert(OtherVariant.PageCount <= 0xFF, "the page count goes out in one byte");

TBootloaderConfig ConfigOf(TDemoVariant variant) {
    switch (variant) {
    case TDemoVariant::A:
        return TBootloaderConfig::VariantA();
    case TDemoVariant::B:
        return TBootloaderConfig::VariantB();
    case TDemoVariant::Other:
        break;
    }
    return OtherVariant;
}

const char* VariantName(TDemoVariant variant) {
    switch (variant) {
    case TDemoVariant::A:
        return "variant a";
    case TDemoVariant::B:
        return "variant b";
    case TDemoVariant::Other:
        break;
    }
    return "other variant";
}

} // namespace

const std::vector<TFaultKindInfo>& DemoFaultKinds() {
    static const std::vector<TFaultKindInfo> kinds = {
        {"Drop the reply", TFaultKind::DropReply, nullptr},
        {"Corrupt the reply's CRC", TFaultKind::CorruptCrc, nullptr},
        {"Refuse (reply code 13)", TFaultKind::AnswerCode13, nullptr},
        {"Answer with another request's code", TFaultKind::AnswerOtherCode, "reply code (0-12)"},
        {"Truncate the reply", TFaultKind::Truncate, "bytes kept (0: half)"},
        {"Announce a length above 256", TFaultKind::AnnounceLength, "length (0: 300)"},
        {"Delay the reply", TFaultKind::Delay, "delay in ms"},
        {"Unplug before replying", TFaultKind::Unplug, nullptr},
    };
    return kinds;
}

const std::vector<TNamedChoice<std::uint8_t>>& DemoFaultRequests() {
    static const std::vector<TNamedChoice<std::uint8_t>> requests = {
        {"next write block", CmdWriteBlock},
        {"next version query (keep-alive)", CmdGetBootVersion},
        {"next page count query", CmdGetPageCount},
        {"next page size query", CmdGetPageSize},
        {"next checksum query", CmdGetChecksums},
        {"next firmware version query", CmdGetFirmwareVersion},
        {"next begin update", CmdBeginUpdate},
        {"next prepare range", CmdPrepareRange},
        {"next finish range", CmdFinishRange},
        {"next end update", CmdEndUpdate},
        {"next power off", CmdPowerOff},
    };
    return requests;
}

TDemoRig::TDemoRig(const TDemoOptions& options)
    : Options(options), Bus(std::make_unique<TSteadyClock>()),
      Qor(&Bus.AddDevice(DeviceDescription, TBootloaderConfig::VariantA())) {
    // The demo runs for hours; the frame log is for tests.
    Qor->RecordFrames = false;
    ApplyWireTiming();
}

bool TDemoRig::SwapVariant(TDemoVariant variant) {
    const bool wasPlugged = Qor->Plugged();
    Qor->Unplug();
    Qor->Faults.Clear();
    TBootloaderConfig config = ConfigOf(variant);
    config.AckCode = AckCode();
    config.VersionReplyCode = VersionReplyCode();
    config.SwapQueryReplies = SwapQueryReplies();
    config.DataAcknowledgements = DataAcknowledgements();
    Qor->Bootloader = TBootloaderEmulator(config);
    CurrentVariant = variant;
    return wasPlugged;
}

bool TDemoRig::EraseFlash() {
    const bool wasPlugged = Qor->Plugged();
    Qor->Unplug();
    Qor->Bootloader.Erase();
    return wasPlugged;
}

void TDemoRig::SetWireTiming(bool on) {
    Options.WireTiming = on;
    ApplyWireTiming();
}

void TDemoRig::SetTurnaroundMs(std::uint32_t ms) {
    Options.TurnaroundMs = ms;
    ApplyWireTiming();
}

void TDemoRig::ApplyWireTiming() {
    Bus.SetWireTiming(Options.WireTiming, Options.TurnaroundMs * 1000);
}

void TDemoRig::InjectFault(const TDemoFaultChoice& choice) {
    Qor->Faults.Add(choice.Block ? TFault::OnBlock(*choice.Block, choice.Kind, choice.Param)
                                 : TFault::OnCode(choice.Code, choice.Kind, choice.Param));
}

std::string TDemoRig::DeviceStateText() const {
    std::string text = Qor->Plugged() ? "Plugged in, " : "Unplugged, ";
    switch (Qor->Mode()) {
    case TDeviceMode::Bootloader:
        text += "on in bootloader mode";
        break;
    case TDeviceMode::Application:
        text += "on with the application running";
        break;
    case TDeviceMode::Off:
        text += "switched off";
        break;
    }
    const TBootloaderEmulator& boot = Qor->Bootloader;
    const std::string version = boot.FirmwareVersion();
    // Erased flash reads 0xFF, which is no version to show.
    const bool erased = std::all_of(version.begin(), version.end(),
                                    [](char c) { return static_cast<std::uint8_t>(c) == 0xFF; });
    text += std::string(", ") + VariantName(CurrentVariant) + ". Firmware " +
            (erased ? std::string("erased, no application") : version) +
            (boot.Checksum1() == boot.Checksum2() ? " (checksums agree)" : " (checksums differ)");
    return text;
}

} // namespace qor
