// Protection of the proxy password by the system's data protection service: the blob can be
// unprotected only by the same Windows user (no entropy, no prompt, no flags). The plaintext
// is UTF-8 here and the ANSI code page inside the blob, as other programs' blobs hold it.
#pragma once

#include "secrets/DataProtection.h"

namespace qor {

class TDpapiProtection : public IDataProtection {
public:
    // CryptProtectData with `description` as the blob's description.
    TResult<std::vector<std::uint8_t>> Protect(std::span<const std::uint8_t> plaintext,
                                               const std::u16string& description) override;
    // CryptUnprotectData; the description stored in the blob is not asked for.
    TResult<TSecretBytes> Unprotect(std::span<const std::uint8_t> blob) override;
};

} // namespace qor
