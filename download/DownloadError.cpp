#include "download/DownloadError.h"

#include "base/TextTable.h"

namespace qor {
namespace {

constexpr const char* StatusSeparator = "  -  ";

} // namespace

std::string DownloadFailureText(const TDownloadError& error, std::uint8_t language) {
    switch (error.Reason) {
    case TDownloadFailure::ServerFailed:
        return Txt(TxtServerFailed, language);
    case TDownloadFailure::StatusRefused:
        return std::string(Txt(TxtServerFailed, language)) + StatusSeparator + error.Status;
    case TDownloadFailure::Cancelled:
        return Txt(TxtCancelled, language);
    case TDownloadFailure::DownloadFailed:
        break;
    }
    return Txt(TxtDownloadFailed, language);
}

} // namespace qor
