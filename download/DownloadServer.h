// Where the firmware images are fetched from.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

// The firmware download server: plain HTTP on the default port. Named only here; tests and
// the demo hand the transfer a server of their own.
inline constexpr const char* ProductServerHost = "firmware.zentrova.example";
inline constexpr std::uint16_t ProductServerPort = 80;

struct TDownloadServer {
    std::string Host = ProductServerHost;
    std::uint16_t Port = ProductServerPort;
};

// Where `path` lies on `server`, as the records name an image's origin.
inline std::string DownloadAddress(const TDownloadServer& server, const std::string& path) {
    return "http://" + server.Host + ":" + std::to_string(server.Port) + path;
}

} // namespace qor
