// What the download dialog shows on each tick of its display timer.
#pragma once

#include <cstdint>
#include <string>

#include "download/DownloadState.h"

namespace qor {

// Bytes as kilobytes of 1000 bytes with exactly one decimal, rounded half up: "12.5".
std::string FormatKilobytes(std::uint32_t bytes, const std::string& decimalSeparator);

// Updates the view from the transfer's state: status text and bar while the transfer runs
// or once it has succeeded, left alone otherwise; the button reads Cancel while busy.
// `decimalSeparator` is the user's locale's.
void DownloadDisplayTick(TDownloadState& state, std::uint8_t language,
                         const std::string& decimalSeparator);

} // namespace qor
