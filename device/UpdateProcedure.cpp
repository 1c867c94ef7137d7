#include "device/UpdateProcedure.h"

#include <cstddef>
#include <string>

#include "base/FixedTexts.h"
#include "device/Protocol.h"
#include "device/Requests.h"

namespace qor {

namespace {

constexpr int ProgressFull = 1000;

// The numbered failures: the request that failed.
enum class TFailure : int {
    BeginUpdate = 0,
    PrepareRange = 1,
    WriteBlock = 2,
    FinishRange = 3,
    EndUpdate = 4,
    GetChecksums = 5,
    GetFirmwareVersion = 6,
};

std::string FailureText(TFailure failure, std::size_t block) {
    std::string text(UpdateFailedPrefix);
    text += std::to_string(static_cast<int>(failure));
    if (failure == TFailure::WriteBlock) {
        text += ':';
        text += std::to_string(block);
    }
    return text;
}

// The bar after block k of `blocks`: truncated, so the last block leaves it one block short.
int Progress(std::size_t block, std::size_t blocks) {
    return static_cast<int>(static_cast<double>(block) * ProgressFull /
                            static_cast<double>(blocks));
}

class TUpdate {
public:
    TUpdate(TMainState& state, TDeviceLink& link, TBootloader& bootloader, IUpdateHost& host,
            IMessageBox& messages)
        : State(state), Link(link), Bootloader(bootloader), Host(host), Messages(messages),
          Image(state.FWBuffer) {}

    TUpdateOutcome Run() {
        if (State.UpdateRunning || !State.FWLoaded || Image == nullptr) {
            return TUpdateOutcome::Refused;
        }
        State.UpdateFailed = false;
        State.UpdateSucceeded = false;
        State.UpdateRunning = true;
        SetControlsEnabled(false);
        State.View.PBFW = 0;
        Host.ProcessMessages();

        Link.SetTimeouts(UpdateReadTimeoutMs, WriteTimeoutMs);
        Session = Link.OpenCount;
        if (!Send(CmdBeginUpdate)) {
            return Fail(TFailure::BeginUpdate);
        }
        if (State.CloseConfirmed) {
            return QuietStop();
        }
        if (!SendRange(CmdPrepareRange)) {
            return Fail(TFailure::PrepareRange);
        }

        // Only whole blocks are written; a shorter rest stays on the PC.
        const std::size_t blocks = Image->size() / BlockSize;
        BuildWriteBlockHeader(Request);
        for (std::size_t block = 0; block < blocks; ++block) {
            const std::size_t offset = block * BlockSize;
            SetWriteBlock(Request, static_cast<std::uint32_t>(offset), Image->data() + offset);
            if (State.CloseConfirmed) {
                return QuietStop();
            }
            if (!Exchange()) {
                return Fail(TFailure::WriteBlock, block);
            }
            State.View.PBFW = Progress(block, blocks);
            Host.ProcessMessages();
        }

        if (!SendRange(CmdFinishRange)) {
            return Fail(TFailure::FinishRange);
        }
        if (!Send(CmdEndUpdate)) {
            return Fail(TFailure::EndUpdate);
        }
        if (!Send(CmdGetChecksums)) {
            return Fail(TFailure::GetChecksums);
        }
        if (!Send(CmdGetFirmwareVersion)) {
            return Fail(TFailure::GetFirmwareVersion);
        }

        Finish();
        const TDeviceValues& values = Bootloader.Values;
        if (values.DeviceChecksum1 == values.DeviceChecksum2) {
            State.UpdateSucceeded = true;
            return TUpdateOutcome::Succeeded;
        }
        State.UpdateFailed = true;
        return TUpdateOutcome::ChecksumsDiffer;
    }

private:
    // A device that was lost and found again while messages ran has left its update session;
    // nothing more is written to it.
    bool Exchange() { return Link.OpenCount == Session && Bootloader.TransferFrame(Request); }

    bool Send(std::uint8_t code) {
        BuildSimpleRequest(Request, code);
        return Exchange();
    }

    bool SendRange(std::uint8_t code) {
        BuildRangeRequest(Request, code, Bootloader.Values.PageCount);
        return Exchange();
    }

    void SetControlsEnabled(bool enabled) {
        State.View.BFlash = enabled;
        State.View.BSwitchOff = enabled;
        State.View.GBFWFile = enabled;
    }

    void Finish() {
        SetControlsEnabled(true);
        State.UpdateRunning = false;
    }

    // The box is shown while the update still counts as running, as the timers keep going.
    TUpdateOutcome Fail(TFailure failure, std::size_t block = 0) {
        Messages.ShowMessage(FailureText(failure, block), FixedErrorCaption);
        State.UpdateFailed = true;
        Finish();
        return TUpdateOutcome::Failed;
    }

    TUpdateOutcome QuietStop() {
        Finish();
        return TUpdateOutcome::StoppedByClose;
    }

    TMainState& State;
    TDeviceLink& Link;
    TBootloader& Bootloader;
    IUpdateHost& Host;
    IMessageBox& Messages;
    // Our own reference: the connection monitor may discard the image between two blocks.
    const TImageBytes Image;
    TRequestBuffer Request{};
    std::uint32_t Session = 0; // the link's open count when the update began
};

} // namespace

TUpdateOutcome BFlashClick(TMainState& state, TDeviceLink& link, TBootloader& bootloader,
                           IUpdateHost& host, IMessageBox& messages) {
    return TUpdate(state, link, bootloader, host, messages).Run();
}

void BSwitchOffClick(TBootloader& bootloader) {
    bootloader.SendSimpleRequest(CmdPowerOff);
}

} // namespace qor
