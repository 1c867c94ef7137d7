#include "presenter/DownloadDisplay.h"

#include <algorithm>
#include <utility>

#include "base/TextTable.h"

namespace qor {

std::string FormatKilobytes(std::uint32_t bytes, const std::string& decimalSeparator) {
    // Whole tenths of a kilobyte; integer arithmetic keeps 12,550 bytes at 12.6 exactly.
    const std::uint64_t tenths = (static_cast<std::uint64_t>(bytes) + 50) / 100;
    return std::to_string(tenths / 10) + decimalSeparator + std::to_string(tenths % 10);
}

TDownloadDisplay::TDownloadDisplay(std::function<void()> serveEvents)
    : ServeEvents(std::move(serveEvents)) {
}

bool TDownloadDisplay::Start() {
    if (WasStarted) {
        return false;
    }
    WasStarted = true;
    return true;
}

void TDownloadDisplay::Begin() {
    Outcome.reset();
    Bytes = 0;
    Total.reset();
    Asked = false;
    IsRunning = true;
    Awaiting = true;
}

void TDownloadDisplay::End(TDownloadResult outcome) {
    Outcome = std::move(outcome);
    IsBusy = false;
    IsRunning = false;
    Awaiting = false;
    Shown.LStatusTip = FailureDetail();
}

void TDownloadDisplay::Received(std::uint32_t bytes, std::optional<std::uint32_t> total) {
    Awaiting = false;
    Bytes = bytes;
    Total = total;
}

bool TDownloadDisplay::CancelRequested() {
    if (ServeEvents) {
        ServeEvents();
    }
    if (!Asked) {
        // Events served before this found the transfer not yet busy: a click then closed the
        // dialog rather than cancelling.
        Asked = true;
        IsBusy = true;
        return false;
    }
    return !IsBusy;
}

void TDownloadDisplay::Tick(std::uint8_t language, const std::string& decimalSeparator) {
    if (!IsBusy && DownloadOK()) {
        Shown.LStatus = Txt(TxtDownloadSucceeded, language);
        Shown.PBFWProgress = ProgressMaximum;
    } else if (IsBusy && Awaiting) {
        // Still connecting: the status keeps saying so.
    } else if (IsBusy && Total) {
        Shown.LStatus = std::string(Txt(TxtDownloading, language)) + " (" +
                        FormatKilobytes(Bytes, decimalSeparator) + " KB / " +
                        FormatKilobytes(*Total, decimalSeparator) + " KB)";
        // A length of 0 (or one that was not a number) gives no proportion to show.
        if (*Total == 0) {
            Shown.PBFWProgress = 0;
        } else {
            const std::uint64_t permille =
                static_cast<std::uint64_t>(Bytes) * ProgressMaximum / *Total;
            Shown.PBFWProgress =
                static_cast<int>(std::min<std::uint64_t>(permille, ProgressMaximum));
        }
    } else if (IsBusy) {
        Shown.LStatus = Txt(TxtDownloading, language);
        Shown.PBFWProgress = 0;
    }
    Shown.BCancel = Txt(IsBusy ? TxtCancel : TxtClose, language);
}

void TDownloadDisplay::ShowStep(std::uint8_t language) {
    if (Outcome && !Outcome->Ok()) {
        Shown.LStatus = Outcome->Error().Text;
    } else if (Awaiting) {
        Shown.LStatus = Txt(TxtServerConnecting, language);
    }
}

bool TDownloadDisplay::CancelClick() {
    if (IsBusy) {
        IsBusy = false; // the transfer stops at its next step
        return false;
    }
    return true;
}

bool TDownloadDisplay::CloseQuery() {
    if (IsBusy) {
        return false;
    }
    if (IsRunning) {
        CloseRequested = true;
        return false;
    }
    return true;
}

bool TDownloadDisplay::TakeCloseRequest() {
    return std::exchange(CloseRequested, false);
}

std::optional<TDownloadedImage> TDownloadDisplay::TakeImage() {
    if (!DownloadOK()) {
        return std::nullopt;
    }
    return std::move(Outcome->Value());
}

const TDownloadedImage* TDownloadDisplay::Downloaded() const {
    return DownloadOK() ? &Outcome->Value() : nullptr;
}

std::string TDownloadDisplay::FailureDetail() const {
    return Outcome && !Outcome->Ok() ? Outcome->Error().Detail : std::string();
}

} // namespace qor
