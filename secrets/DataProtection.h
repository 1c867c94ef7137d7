// Protection of small secrets bound to the current user (the proxy password).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"
#include "platform/SecretBytes.h"

namespace qor {

class IDataProtection {
public:
    virtual ~IDataProtection() = default;
    // An opaque blob that only the same user can turn back into the plaintext.
    virtual TResult<std::vector<std::uint8_t>> Protect(std::span<const std::uint8_t> plaintext,
                                                       const std::u16string& description) = 0;
    // The plaintext; fails for a blob of another user or key, or one that was altered.
    virtual TResult<TSecretBytes> Unprotect(std::span<const std::uint8_t> blob) = 0;
};

} // namespace qor
