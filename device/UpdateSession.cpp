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

bool TUpdateSession::SameConnection() const {
    return Link.OpenCount() == Session;
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
    if (std::uint64_t{blocks} * BlockSize > Info.FlashSize()) {
        TUpdateOutcome refused;
        refused.Refusal = "the image is larger than the device's flash";
        return refused;
    }
    Link.SetTimeouts(UpdateReadTimeoutMs, WriteTimeoutMs);
    Session = Link.OpenCount();
    // Events are served while the device takes its time, and between every two exchanges.
    Client.SetWhileWaiting([&observer] { observer.PumpWhileWaiting(); });
    const struct TStopServing {
        TBootloaderClient& Client;
        ~TStopServing() { Client.SetWhileWaiting({}); }
    } stopServing{Client};
    // Each step below fails with its own exit; the first failure ends the update.
    const auto step = [this](auto&& exchange) -> std::optional<TExchangeError> {
        if (!SameConnection()) {
            return Lost();
        }
        auto result = exchange();
        if (!result) {
            return result.Error();
        }
        return std::nullopt;
    };
    if (auto error = step([&] { return Client.BeginUpdate(); })) {
        return Failed(TUpdateStep::BeginUpdate, std::move(*error));
    }
    observer.Pump();
    TUpdateOutcome stopped;
    stopped.Result = TUpdateResult::Stopped;
    if (observer.StopRequested()) {
        return stopped;
    }
    const std::uint32_t pageCount = Info.PageCount;
    if (auto error = step([&] { return Client.PrepareRange(pageCount); })) {
        return Failed(TUpdateStep::PrepareRange, std::move(*error));
    }
    observer.Pump();
    for (std::size_t block = 0; block < blocks; ++block) {
        if (observer.StopRequested()) {
            stopped.BlocksWritten = Written;
            return stopped;
        }
        const auto address = static_cast<std::uint32_t>(block * BlockSize);
        if (auto error = step(
                [&] { return Client.WriteBlock(address, image.subspan(address, BlockSize)); })) {
            return Failed(TUpdateStep::WriteBlock, std::move(*error), block);
        }
        ++Written;
        observer.Progress(UpdateProgress(block, blocks));
        observer.Pump();
    }
    if (auto error = step([&] { return Client.FinishRange(pageCount); })) {
        return Failed(TUpdateStep::FinishRange, std::move(*error));
    }
    observer.Pump();
    if (auto error = step([&] { return Client.EndUpdate(); })) {
        return Failed(TUpdateStep::EndUpdate, std::move(*error));
    }
    observer.Pump();
    // The final values come only from their own replies.
    std::optional<TChecksums> checksums;
    if (auto error = step([&] {
            auto reply = Client.QueryChecksums();
            if (reply) {
                checksums = *reply;
            }
            return reply;
        })) {
        return Failed(TUpdateStep::GetChecksums, std::move(*error));
    }
    Info.DeviceChecksum1 = checksums->First;
    Info.DeviceChecksum2 = checksums->Second;
    observer.Pump();
    if (auto error = step([&] {
            auto reply = Client.QueryFirmwareVersion();
            if (reply) {
                Info.DeviceFWVersion = *reply;
            }
            return reply;
        })) {
        return Failed(TUpdateStep::GetFirmwareVersion, std::move(*error));
    }
    TUpdateOutcome done;
    done.BlocksWritten = Written;
    done.Result = Info.DeviceChecksum1 == Info.DeviceChecksum2 ? TUpdateResult::Succeeded
                                                               : TUpdateResult::ChecksumsDiffer;
    return done;
}

} // namespace qor
