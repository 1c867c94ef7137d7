// Why a download ended without an image: the reason decides the status text the dialog shows,
// the detail says what happened for whoever looks closer.
#pragma once

#include <string>

#include "base/Result.h"

namespace qor {

enum class TDownloadFailure {
    ServerFailed,   // no usable answer from the server
    StatusRefused,  // an answer with a status other than "200"
    DownloadFailed, // the body, its length or the temporary file
    Cancelled,      // the user pressed Cancel
};

struct TDownloadError {
    TDownloadFailure Reason = TDownloadFailure::ServerFailed;
    std::string Detail;
    std::string Status; // the status text, with StatusRefused
};

inline TFailure<TDownloadError> DownloadFailure(TDownloadFailure reason, std::string detail) {
    return {TDownloadError{reason, std::move(detail), {}}};
}

} // namespace qor
