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

struct TDownloadState {
    bool DownloadOK = false;
    bool SizeKnown = false;
    std::uint32_t TotalBytes = 0;
    std::uint32_t ReceivedBytes = 0;
    // A transfer is in progress; the Cancel button clears it to ask the transfer to stop.
    bool Busy = false;
    std::string TempFilePath;
    TVariantKind DeviceVariant = TVariantKind::Other;
    // Allocated once with the dialog; the transfer never allocates for the body.
    std::vector<std::uint8_t> DownloadBuffer = std::vector<std::uint8_t>(DownloadBufferSize);
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
