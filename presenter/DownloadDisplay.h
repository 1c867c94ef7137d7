// What the download dialog shows: the progress on each tick of its display timer, and the
// transfer's steps and failures in the status texts.
#pragma once

#include <cstdint>
#include <string>

#include "download/DownloadError.h"
#include "download/DownloadState.h"

namespace qor {

// What the download dialog shows; the window copies it onto its widgets.
struct TDownloadView {
    std::string LStatus;
    int PBFWProgress = 0;
    std::string BCancel; // empty until the first display tick
    bool operator==(const TDownloadView&) const = default;
};

// Bytes as kilobytes of 1000 bytes with exactly one decimal, rounded half up: "12.5".
std::string FormatKilobytes(std::uint32_t bytes, const std::string& decimalSeparator);

// Updates the view from the transfer's state: status text and bar while the transfer runs
// or once it has succeeded, left alone otherwise; the button reads Cancel while busy.
// `decimalSeparator` is the user's locale's.
void DownloadDisplayTick(const TDownloadState& state, TDownloadView& view, std::uint8_t language,
                         const std::string& decimalSeparator);

// Shows the transfer's own steps in the view: "Connecting..." until the response has come,
// the failure's text once it has ended without an image; leaves the view alone otherwise.
void ShowTransferStep(const TDownloadState& state, TDownloadView& view, std::uint8_t language);

} // namespace qor
