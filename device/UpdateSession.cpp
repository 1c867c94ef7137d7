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
    if (!Info.PageCount) {
        TUpdateOutcome refused;
        refused.Refusal = "the device did not report its page count";
        return refused;
    }
    PageCount = *Info.PageCount;
    FreshChecksums.reset();
    FreshVersion.reset();
    Link.SetTimeouts(UpdateReadTimeoutMs, WriteTimeoutMs);
    Session = Link.OpenCount();
    // Events are served while the device takes its time, and between every two exchanges.
    Client.SetWhileWaiting([&observer] { observer.PumpWhileWaiting(); });
    const struct TStopServing {
        TBootloaderClient& Client;
        ~TStopServing() { Client.SetWhileWaiting({}); }
    } stopServing{Client};
    TUpdateOutcome outcome = Write(image, observer);
    Info.DeviceChecksums = FreshChecksums;
    Info.DeviceFWVersion = FreshVersion;
    return outcome;
}

TUpdateOutcome TUpdateSession::Write(std::span<const std::uint8_t> image,
                                     IUpdateObserver& observer) {
    if (auto begun = Begin(observer); !begun) {
        return begun.Error();
    }
    if (auto written = WriteBlocks(image, observer); !written) {
        return written.Error();
    }
    return Finish(observer);
}

void TUpdateSession::ReadBack(const TReplyValue& value) {
    if (const auto* checksums = std::get_if<TChecksums>(&value)) {
        FreshChecksums = *checksums;
    } else if (const auto* version = std::get_if<TFirmwareVersion>(&value)) {
        FreshVersion = version->Text;
    }
}

template <typename TExchangeCall> auto TUpdateSession::Step(TExchangeCall&& exchange) {
    // A device that was lost and found again while events ran has left its update session;
    // nothing more is written to it.
    using TReply = decltype(exchange());
    if (Link.OpenCount() != Session) {
        return TReply(Fail(Lost()));
    }
    return exchange();
}

TUpdateSession::TGoOn TUpdateSession::Stopped() const {
    TUpdateOutcome stopped;
    stopped.Result = TUpdateResult::Stopped;
    stopped.BlocksWritten = Written;
    return Fail(stopped);
}

TUpdateSession::TGoOn TUpdateSession::Begin(IUpdateObserver& observer) {
    if (const auto begun = Step([&] { return Client.BeginUpdate(); }); !begun) {
        return Fail(Failed(TUpdateStep::BeginUpdate, begun.Error()));
    }
    observer.Pump();
    if (observer.StopRequested()) {
        return Stopped();
    }
    if (const auto prepared = Step([&] { return Client.PrepareRange(PageCount); }); !prepared) {
        return Fail(Failed(TUpdateStep::PrepareRange, prepared.Error()));
    }
    observer.Pump();
    return {};
}

TUpdateSession::TGoOn TUpdateSession::WriteBlocks(std::span<const std::uint8_t> image,
                                                  IUpdateObserver& observer) {
    const std::size_t blocks = image.size() / BlockSize;
    for (std::size_t block = 0; block < blocks; ++block) {
        if (observer.StopRequested()) {
            return Stopped();
        }
        const auto address = static_cast<std::uint32_t>(block * BlockSize);
        const auto written =
            Step([&] { return Client.WriteBlock(address, image.subspan(address, BlockSize)); });
        if (!written) {
            return Fail(Failed(TUpdateStep::WriteBlock, written.Error(), block));
        }
        ++Written;
        observer.Progress(UpdateProgress(block, blocks));
        observer.Pump();
    }
    return {};
}

TUpdateOutcome TUpdateSession::Finish(IUpdateObserver& observer) {
    if (const auto finished = Step([&] { return Client.FinishRange(PageCount); }); !finished) {
        return Failed(TUpdateStep::FinishRange, finished.Error());
    }
    observer.Pump();
    if (const auto ended = Step([&] { return Client.EndUpdate(); }); !ended) {
        return Failed(TUpdateStep::EndUpdate, ended.Error());
    }
    observer.Pump();
    // Whichever of the two requests reports them, the checksums and the version of the
    // flash as written come from these replies alone.
    const auto checksums = Step([&] { return Client.QueryChecksums(); });
    if (!checksums) {
        return Failed(TUpdateStep::GetChecksums, checksums.Error());
    }
    ReadBack(*checksums);
    observer.Pump();
    const auto version = Step([&] { return Client.QueryFirmwareVersion(); });
    if (!version) {
        return Failed(TUpdateStep::GetFirmwareVersion, version.Error());
    }
    ReadBack(*version);
    if (!FreshChecksums) {
        TExchangeError none;
        none.Fault = TExchangeFault::NoChecksums;
        return Failed(TUpdateStep::GetChecksums, none);
    }
    TUpdateOutcome done;
    done.BlocksWritten = Written;
    done.Result = FreshChecksums->First == FreshChecksums->Second ? TUpdateResult::Succeeded
                                                                  : TUpdateResult::ChecksumsDiffer;
    return done;
}

} // namespace qor
