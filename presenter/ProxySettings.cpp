#include "presenter/ProxySettings.h"

#include <algorithm>
#include <limits>

#include "platform/SecretBytes.h"
#include "settings/StoreTexts.h"

namespace qor {
namespace {

bool BlankOrControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= ' ' || u == 0x7F;
}

} // namespace

std::int32_t ParseProxyPort(std::string_view text) {
    while (!text.empty() && BlankOrControl(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && BlankOrControl(text.back())) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return 0;
    }
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) {
            return 0;
        }
    }
    return static_cast<std::int32_t>(value);
}

TProxyApplyResult ApplyProxySettings(TSettings& settings, const TProxyDialogInput& input,
                                     std::span<const std::uint8_t> typedPassword,
                                     IDataProtection& protection, const TSaveSettings& save) {
    TProxyApplyResult result;
    settings.CfgUseProxy = input.ProxyActive;
    settings.CfgProxyServer = input.Server;
    if (input.PortText) {
        settings.CfgProxyPort = ParseProxyPort(*input.PortText);
    }
    result.PortText = std::to_string(settings.CfgProxyPort);
    settings.CfgUseProxyAuth = input.ProxyAuth;
    settings.CfgProxyUser = input.User;

    if (input.PasswordEdited) {
        TSecretBytes plaintext(typedPassword);
        plaintext.Resize(plaintext.Size() + 1);
        auto blob = protection.Protect(plaintext.View(), ProxyPasswordDescription);
        if (blob) {
            settings.CfgProxyPassword = std::move(*blob);
        } else {
            result.PasswordNotProtected = true;
        }
    }

    if (const auto saved = save(); !saved) {
        result.SaveError = StoreErrorText(saved.Error(), settings.CfgLanguage);
    }
    return result;
}

} // namespace qor
