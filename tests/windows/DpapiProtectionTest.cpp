#include "platform/DpapiProtection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "presenter/ProxySettings.h"
#include "qortest/RegValues.h"

namespace qor {
namespace {

using TBytes = std::vector<std::uint8_t>;

using test::ZeroTerminated;

constexpr const char16_t* Description = ProxyPasswordDescription;

TBytes Unprotected(TDpapiProtection& protection, const TBytes& blob) {
    const auto plaintext = protection.Unprotect(blob);
    return plaintext ? TBytes(plaintext->View().begin(), plaintext->View().end()) : TBytes{};
}

TEST(DpapiProtection, APasswordComesBackWithItsTerminatingZero) {
    TDpapiProtection protection;
    for (const std::string password : {"geheim", "", "S3cr3t with blanks and \xE4\xF6\xFC"}) {
        const TBytes plaintext = ZeroTerminated(password);
        const auto blob = protection.Protect(plaintext, Description);
        ASSERT_TRUE(blob) << blob.Error().Reason;

        EXPECT_EQ(Unprotected(protection, *blob), plaintext) << password;
        // Another instance (a later run of the program) unprotects it the same way.
        TDpapiProtection later;
        EXPECT_EQ(Unprotected(later, *blob), plaintext) << password;
    }
}

TEST(DpapiProtection, TheBlobHidesThePasswordAndDiffersEachTime) {
    TDpapiProtection protection;
    const TBytes plaintext = ZeroTerminated("correct horse battery staple");
    const auto first = protection.Protect(plaintext, Description);
    const auto second = protection.Protect(plaintext, Description);
    ASSERT_TRUE(first && second);

    EXPECT_EQ(std::search(first->begin(), first->end(), plaintext.begin(), plaintext.end() - 1),
              first->end());
    EXPECT_NE(*first, *second);
}

TEST(DpapiProtection, TheDescriptionIsNotNeededToUnprotect) {
    TDpapiProtection protection;
    const TBytes plaintext = ZeroTerminated("proxy-pass");
    const auto blob = protection.Protect(plaintext, u"another description");
    ASSERT_TRUE(blob);

    EXPECT_EQ(Unprotected(protection, *blob), plaintext);
}

TEST(DpapiProtection, ACutOrAlteredBlobDoesNotUnprotect) {
    TDpapiProtection protection;
    const auto blob = protection.Protect(ZeroTerminated("geheim"), Description);
    ASSERT_TRUE(blob);

    TBytes cut(blob->begin(), blob->end() - 1);
    const auto refused = protection.Unprotect(cut);
    EXPECT_FALSE(refused);
    EXPECT_THAT(refused.Error().Reason, ::testing::HasSubstr("cannot be unprotected"));

    // The end of the blob is its signature.
    TBytes altered = *blob;
    altered.back() ^= 0x01;
    EXPECT_FALSE(protection.Unprotect(altered));

    EXPECT_FALSE(protection.Unprotect(TBytes{}));
    EXPECT_FALSE(protection.Unprotect(ZeroTerminated("not a blob at all")));
}

} // namespace
} // namespace qor
