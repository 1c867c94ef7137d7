// A stand-in for the user's data protection: a blob is a tag, the description's length and
// the plaintext scrambled, so the plaintext never appears in it. It can be told to fail.
#pragma once

#include <string>
#include <vector>

#include "presenter/ProxySettings.h"
#include "qortest/RegValues.h"
#include "secrets/DataProtection.h"

namespace qor::test {

class TFakeDataProtection : public IDataProtection {
public:
    bool FailProtect = false;
    int ProtectCalls = 0;
    std::vector<std::uint8_t> LastPlaintext;
    std::u16string LastDescription;

    TResult<std::vector<std::uint8_t>> Protect(std::span<const std::uint8_t> plaintext,
                                               const std::u16string& description) override {
        ++ProtectCalls;
        LastPlaintext.assign(plaintext.begin(), plaintext.end());
        LastDescription = description;
        if (FailProtect) {
            return Fail(TError{}); // no reason, as a service that tells none
        }
        std::vector<std::uint8_t> blob{Tag0, Tag1, static_cast<std::uint8_t>(description.size())};
        for (const std::uint8_t b : plaintext) {
            blob.push_back(b ^ Key);
        }
        return blob;
    }

    TResult<TSecretBytes> Unprotect(std::span<const std::uint8_t> blob) override {
        if (blob.size() < 3 || blob[0] != Tag0 || blob[1] != Tag1) {
            return Fail(TError{});
        }
        std::vector<std::uint8_t> plain;
        for (std::size_t i = 3; i < blob.size(); ++i) {
            plain.push_back(blob[i] ^ Key);
        }
        return TSecretBytes(plain);
    }

    // The blob the fake makes of `password` plus its terminating zero.
    static std::vector<std::uint8_t> BlobOf(const std::string& password) {
        TFakeDataProtection protection;
        return *protection.Protect(ZeroTerminated(password), ProxyPasswordDescription);
    }

private:
    static constexpr std::uint8_t Tag0 = 0xD7;
    static constexpr std::uint8_t Tag1 = 0x01;
    static constexpr std::uint8_t Key = 0xA5;
};

} // namespace qor::test
