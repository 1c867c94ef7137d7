// What the proxy dialog commits: the port text's reading and the apply step that stores the
// proxy values, protects a newly typed password and saves all settings.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/Result.h"
#include "base/Settings.h"
#include "secrets/DataProtection.h"
#include "settings/StoreError.h"

namespace qor {

// Saves all settings; fails with why the store refused.
using TSaveSettings = std::function<TResult<void, TStoreError>()>;

// The description the password is protected under; it is not checked when unprotecting.
inline constexpr const char16_t* ProxyPasswordDescription = u"qwomvetrbaxluY718HKOPJdnz";

// The port edit's text as a port: blanks and control characters trimmed at both ends, then
// a decimal whole number; anything else (empty, "8 0") is 0. No range check.
std::int32_t ParseProxyPort(std::string_view text);

struct TProxyDialogInput {
    bool ProxyActive = false;
    std::string Server;
    // The port edit's text when the user changed it; none keeps the stored port, which the
    // edit may not be able to show (a hand-edited -5 or 123456).
    std::optional<std::string> PortText;
    bool ProxyAuth = false;
    std::string User;
    // The password edit holds a password typed in this showing, to be protected and stored.
    bool PasswordEdited = false;
};

struct TProxyApplyResult {
    // The stored port in decimal, for the port edit to show.
    std::string PortText;
    // The store's error text, when the settings could not be written.
    std::optional<std::string> SaveError;
    // A typed password could not be protected; the stored blob was kept.
    bool PasswordNotProtected = false;

    // Everything was stored as entered: the dialog may drop its marks and close on OK.
    bool Completed() const { return !SaveError && !PasswordNotProtected; }
};

// Writes the settings' proxy values from the dialog, protects `typedPassword` (its 8-bit
// characters plus one zero byte) when the input says it was edited, then calls `save`. Only a
// blob the protection returned is ever stored; on failure the old one stays.
TProxyApplyResult ApplyProxySettings(TSettings& settings, const TProxyDialogInput& input,
                                     std::span<const std::uint8_t> typedPassword,
                                     IDataProtection& protection, const TSaveSettings& save);

} // namespace qor
