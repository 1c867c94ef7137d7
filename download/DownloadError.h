// Why a download ended without an image: the reason decides the status text the dialog shows,
// the detail says what happened for whoever looks closer.
#pragma once

#include <cstdint>
#include <string>

#include "base/Result.h"

namespace qor {

enum class TDownloadFailure {
    ServerFailed,   // no usable answer from the server
    StatusRefused,  // an answer with a status other than "200"
    DownloadFailed, // the body, its length or the temporary file
    Cancelled,      // the caller asked to stop
};

struct TDownloadError {
    TDownloadFailure Reason = TDownloadFailure::ServerFailed;
    // What happened, in the failing layer's own words; not translated.
    std::string Detail;
    std::string Status; // the status code's text, with StatusRefused
    // The status text the dialog shows for it, in the language of the download's request.
    std::string Text;
};

inline TFailure<TDownloadError> DownloadFailure(TDownloadFailure reason, std::string detail) {
    return {TDownloadError{reason, std::move(detail), {}, {}}};
}

// "Connecting to server failed!", with the status code after it for a refused status,
// "Error downloading the firmware file!" or "Operation cancelled".
std::string DownloadFailureText(const TDownloadError& error, std::uint8_t language);

} // namespace qor
