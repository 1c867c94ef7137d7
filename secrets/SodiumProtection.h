// Protection of the user's secrets with libsodium's secretbox under a random per-user key
// kept in a file only that user can read.
#pragma once

#include <optional>
#include <string>

#include "secrets/DataProtection.h"

namespace qor {

class TSodiumProtection : public IDataProtection {
public:
    // The key lives in `keyFilePath` (0600, its directory created 0700) and is made on the
    // first Protect. An existing key file is never replaced.
    explicit TSodiumProtection(std::string keyFilePath);

    // The key file's path when it is kept in `directory`.
    static std::string KeyFileIn(const std::string& directory);

    // The blob: magic, version, nonce and the box. The box holds the description (kept, as
    // the Windows service keeps it, but never checked) and the plaintext.
    TResult<std::vector<std::uint8_t>> Protect(std::span<const std::uint8_t> plaintext,
                                               const std::u16string& description) override;
    TResult<TSecretBytes> Unprotect(std::span<const std::uint8_t> blob) override;

private:
    // The key; made first when `create` and there is none yet.
    TResult<TSecretBytes> LoadKey(bool create);
    TResult<TSecretBytes> ReadKeyFile(int fd);

    std::string KeyFilePath;
};

} // namespace qor
