// One firmware download: the image for the device's variant fetched over HTTP, directly or
// through the configured proxy, into the dialog's buffer and then into the temporary file.
#pragma once

#include <cstdint>
#include <string>

#include "base/Settings.h"
#include "download/DownloadFiles.h"
#include "download/DownloadServer.h"
#include "download/DownloadState.h"
#include "download/HttpSession.h"
#include "platform/DataProtection.h"

namespace qor {

// The temporary file's name inside the user's temporary directory.
inline constexpr const char* DownloadFileName = "qor-7316.bin";

// "/qor-7316-a.bin" for variant 0, "/qor-7316-b.bin" for any other.
std::string FirmwareRequestPath(std::uint8_t deviceVariant);

// A Content-Length text as a byte count: decimal digits only, 0 for anything else or for a
// number beyond 32 bits.
std::uint32_t ParseContentLength(const std::string& text);

class TDownloadTransfer {
public:
    TDownloadTransfer(const TSettings& settings, IDataProtection& protection,
                      THttpSessionFactory sessions, TDownloadFiles files);

    // The product's server unless replaced (tests, the demo).
    TDownloadServer Server;

    // Runs the whole transfer, pumping the caller's events while it waits and after every
    // piece of the body. The outcome is left in `state` (DownloadOK, TempFilePath, the
    // status text, FailureDetail); the result repeats DownloadOK.
    bool DownloadFirmware(TDownloadState& state, const TPump& pump) const;

private:
    const TSettings& Settings;
    IDataProtection& Protection;
    THttpSessionFactory Sessions;
    TDownloadFiles Files;
};

} // namespace qor
