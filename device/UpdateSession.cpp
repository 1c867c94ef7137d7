#include "device/UpdateSession.h"

#include "device/Protocol.h"

namespace qor {
namespace {

constexpr int ProgressFull = 1000;

TExchangeError Lost() {
    TExchangeError error;
    error.Fault = TExchangeFault::NoConnection;
    error.Detail = "the device was lost during the update";
    return error;
}

} // namespace

std::string TUpdateFailure::ExitText() const {
    std::string text = std::to_string(Exit());
    if (Step == TUpdateStep::WriteBlock) {
        text += ':';
        text += std::to_string(Block);
    }
    return text;
}

int UpdateProgress(std::size_t block, std::size_t blocks) {
    return static_cast<int>(static_cast<double>(block) * ProgressFull /
                            static_cast<double>(blocks));
}

TUpdateSession::TUpdateSession(TDeviceLink& link, TBootloaderClient& client, TDeviceInfo& info)
    : Link(link), Client(client), Info(info) {
}

TUpdateOutcome TUpdateSession::Failed(TUpdateStep step, TExchangeError error, std::size_t block) {
    TUpdateOutcome outcome;
    outcome.Result = TUpdateResult::Failed;
    outcome.Failure = TUpdateFailure{step, block, std::move(error)};
    outcome.BlocksWritten = Written;
    return outcome;
}

TUpdateOutcome TUpdateSession::Run(std::span<const std::uint8_t> image, IUpdateObserver& observer) {
    Written = 0;
    const std::size_t blocks = image.size() / BlockSize;
    Link.SetTimeouts(UpdateReadTimeoutMs, WriteTimeoutMs);
    // A device that was lost and found again while events ran has left its update session;
    // nothing more is written to it.
    const std::uint32_t session = Link.OpenCount();
    // Events are served while the device takes its time, and between every two exchanges.
    Client.SetWhileWaiting([&observer] { observer.PumpWhileWaiting(); });
    const struct TStopServing {
        TBootloaderClient& Client;
        ~TStopServing() { Client.SetWhileWaiting({}); }
    } stopServing{Client};
    // Each step below fails with its own exit; the first failure ends the update.
    const auto step = [this, session](auto&& exchange) -> decltype(exchange()) {
        if (Link.OpenCount() != session) {
            return Fail(Lost());
        }
        return exchange();
    };
    if (const auto begun = step([&] { return Client.BeginUpdate(); }); !begun) {
        return Failed(TUpdateStep::BeginUpdate, begun.Error());
    }
    observer.Pump();
    TUpdateOutcome stopped;
    stopped.Result = TUpdateResult::Stopped;
    if (observer.StopRequested()) {
        return stopped;
    }
    const std::uint32_t pageCount = Info.PageCount;
    if (const auto prepared = step([&] { return Client.PrepareRange(pageCount); }); !prepared) {
        return Failed(TUpdateStep::PrepareRange, prepared.Error());
    }
    observer.Pump();
    for (std::size_t block = 0; block < blocks; ++block) {
        if (observer.StopRequested()) {
            stopped.BlocksWritten = Written;
            return stopped;
        }
        const auto address = static_cast<std::uint32_t>(block * BlockSize);
        const auto written =
            step([&] { return Client.WriteBlock(address, image.subspan(address, BlockSize)); });
        if (!written) {
            return Failed(TUpdateStep::WriteBlock, written.Error(), block);
        }
        ++Written;
        observer.Progress(UpdateProgress(block, blocks));
        observer.Pump();
    }
    if (const auto finished = step([&] { return Client.FinishRange(pageCount); }); !finished) {
        return Failed(TUpdateStep::FinishRange, finished.Error());
    }
    observer.Pump();
    if (const auto ended = step([&] { return Client.EndUpdate(); }); !ended) {
        return Failed(TUpdateStep::EndUpdate, ended.Error());
    }
    observer.Pump();
    // The final values come only from their own replies.
    const auto checksums = step([&] { return Client.QueryChecksums(); });
    if (!checksums) {
        return Failed(TUpdateStep::GetChecksums, checksums.Error());
    }
    StoreReplyValue(Info, *checksums);
    observer.Pump();
    const auto version = step([&] { return Client.QueryFirmwareVersion(); });
    if (!version) {
        return Failed(TUpdateStep::GetFirmwareVersion, version.Error());
    }
    StoreReplyValue(Info, TFirmwareVersion{*version});
    TUpdateOutcome done;
    done.BlocksWritten = Written;
    done.Result = Info.DeviceChecksum1 == Info.DeviceChecksum2 ? TUpdateResult::Succeeded
                                                               : TUpdateResult::ChecksumsDiffer;
    return done;
}

} // namespace qor
