#include "presenter/DownloadDisplay.h"

#include <algorithm>

#include "base/TextTable.h"
#include "flow/DownloadFailureText.h"

namespace qor {

std::string FormatKilobytes(std::uint32_t bytes, const std::string& decimalSeparator) {
    // Whole tenths of a kilobyte; integer arithmetic keeps 12,550 bytes at 12.6 exactly.
    const std::uint64_t tenths = (static_cast<std::uint64_t>(bytes) + 50) / 100;
    return std::to_string(tenths / 10) + decimalSeparator + std::to_string(tenths % 10);
}

void DownloadDisplayTick(const TDownloadState& state, TDownloadView& view, std::uint8_t language,
                         const std::string& decimalSeparator) {
    if (!state.Busy && state.DownloadOK) {
        view.LStatus = Txt(TxtDownloadSucceeded, language);
        view.PBFWProgress = ProgressMaximum;
    } else if (state.Busy && state.AwaitingResponse) {
        // Still connecting: the status keeps saying so.
    } else if (state.Busy && state.SizeKnown) {
        view.LStatus = std::string(Txt(TxtDownloading, language)) + " (" +
                       FormatKilobytes(state.ReceivedBytes, decimalSeparator) + " KB / " +
                       FormatKilobytes(state.TotalBytes, decimalSeparator) + " KB)";
        // A length of 0 (or one that was not a number) gives no proportion to show.
        if (state.TotalBytes == 0) {
            view.PBFWProgress = 0;
        } else {
            const std::uint64_t permille = static_cast<std::uint64_t>(state.ReceivedBytes) *
                                           ProgressMaximum / state.TotalBytes;
            view.PBFWProgress =
                static_cast<int>(std::min<std::uint64_t>(permille, ProgressMaximum));
        }
    } else if (state.Busy) {
        view.LStatus = Txt(TxtDownloading, language);
        view.PBFWProgress = 0;
    }
    view.BCancel = Txt(state.Busy ? TxtCancel : TxtClose, language);
}

void ShowTransferStep(const TDownloadState& state, TDownloadView& view, std::uint8_t language) {
    if (state.Failure) {
        view.LStatus = DownloadFailureText(*state.Failure, language);
    } else if (state.AwaitingResponse) {
        view.LStatus = Txt(TxtServerConnecting, language);
    }
}

} // namespace qor
