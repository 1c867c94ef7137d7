// The seven persistent settings: interface language and proxy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor {

struct TSettings {
    std::uint8_t CfgLanguage = 0;
    bool CfgUseProxy = false;
    bool CfgUseProxyAuth = false;
    std::string CfgProxyServer;
    std::string CfgProxyUser;
    // The protected password blob exactly as the data protection returned it; empty when no
    // password was ever entered.
    std::vector<std::uint8_t> CfgProxyPassword;
    std::int32_t CfgProxyPort = 0;

    bool operator==(const TSettings&) const = default;
};

} // namespace qor
