// Protection of small secrets bound to the current user (the proxy password).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/SecretBytes.h"

namespace qor {

class IDataProtection {
public:
    virtual ~IDataProtection() = default;
    // An opaque blob that only the same user can turn back into the plaintext.
    virtual std::optional<std::vector<std::uint8_t>>
    Protect(std::span<const std::uint8_t> plaintext, const std::u16string& description) = 0;
    // The plaintext; nullopt for a blob of another user or key, or one that was altered.
    virtual std::optional<TSecretBytes> Unprotect(std::span<const std::uint8_t> blob) = 0;
    // Why the last call failed, for the user; empty when nothing is known.
    virtual std::string LastError() const { return {}; }
};

} // namespace qor
