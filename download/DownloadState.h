// The download's state: what the transfer writes while it runs, for the dialog to show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "download/DownloadError.h"
#include "firmware/DeviceVariant.h"

namespace qor {

// The largest image the download takes; a longer body fails.
inline constexpr std::size_t DownloadBufferSize = 1'500'000;
inline constexpr int ProgressMaximum = 1000;

// Room for the largest image, reserved but not yet touched: an image touches only the pages
// it fills, not all of the largest one's.
inline std::vector<std::uint8_t> ReservedDownloadBuffer() {
    std::vector<std::uint8_t> buffer;
    buffer.reserve(DownloadBufferSize);
    return buffer;
}

struct TDownloadState {
    bool DownloadOK = false;
    bool SizeKnown = false;
    std::uint32_t TotalBytes = 0;
    std::uint32_t ReceivedBytes = 0;
    // A transfer is in progress; the Cancel button clears it to ask the transfer to stop.
    bool Busy = false;
    std::string TempFilePath;
    TVariantKind DeviceVariant = TVariantKind::Other;
    // Holds the body received so far; the transfer never allocates for the body while it runs.
    std::vector<std::uint8_t> DownloadBuffer = ReservedDownloadBuffer();
    bool Started = false;

    // The transfer is between its start and the arrival of the response: the status keeps
    // reading "connecting" although the GUI is served meanwhile.
    bool AwaitingResponse = false;
    // The transfer function is running (it may outlive Busy after a Cancel).
    bool Running = false;
    // Why the last transfer ended without an image; none after a success.
    std::optional<TDownloadError> Failure;

    // The downloaded image, the same bytes as the temporary file; empty unless DownloadOK.
    std::span<const std::uint8_t> Image() const {
        return DownloadOK ? std::span<const std::uint8_t>(DownloadBuffer.data(), ReceivedBytes)
                          : std::span<const std::uint8_t>();
    }
    // What happened to the last transfer that failed, for whoever looks closer.
    std::string FailureDetail() const { return Failure ? Failure->Detail : std::string(); }
};

} // namespace qor
