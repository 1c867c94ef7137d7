#include "secrets/DpapiProtection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <dpapi.h>

#include <algorithm>
#include <optional>
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
    for (const std::string password : {"geheim", "", "S3cr3t with blanks and äöü"}) {
        const TBytes plaintext = ZeroTerminated(password);
        const auto blob = protection.Protect(plaintext, Description);
        ASSERT_TRUE(blob) << blob.Error().Reason;

        EXPECT_EQ(Unprotected(protection, *blob), plaintext) << password;
        // Another instance (a later run of the program) unprotects it the same way.
        TDpapiProtection later;
        EXPECT_EQ(Unprotected(later, *blob), plaintext) << password;
    }
}

// The blob holds the password's 8-bit characters in the system's code page, as other
// programs' blobs do; the program's UTF-8 is converted on the way in and out.
class DpapiCodePage : public ::testing::Test {
protected:
    // `text` as the system's ANSI conversion gives it, with its terminating zero; none when a
    // character has no place in the code page.
    static std::optional<TBytes> Ansi(const std::wstring& text) {
        BOOL replaced = FALSE;
        std::string bytes(text.size() * 4, '\0');
        const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(),
                                               static_cast<int>(text.size()), bytes.data(),
                                               static_cast<int>(bytes.size()), nullptr, &replaced);
        if (replaced != FALSE) {
            return std::nullopt;
        }
        bytes.resize(static_cast<std::size_t>(size));
        return ZeroTerminated(bytes);
    }
    static TBytes RawUnprotect(const TBytes& blob) {
        DATA_BLOB input{static_cast<DWORD>(blob.size()), const_cast<BYTE*>(blob.data())};
        DATA_BLOB output{};
        EXPECT_TRUE(::CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr, 0, &output));
        TBytes plaintext(output.pbData, output.pbData + output.cbData);
        ::LocalFree(output.pbData);
        return plaintext;
    }
    static TBytes RawProtect(const TBytes& plaintext) {
        DATA_BLOB input{static_cast<DWORD>(plaintext.size()), const_cast<BYTE*>(plaintext.data())};
        DATA_BLOB output{};
        EXPECT_TRUE(::CryptProtectData(&input, L"peer", nullptr, nullptr, nullptr, 0, &output));
        TBytes blob(output.pbData, output.pbData + output.cbData);
        ::LocalFree(output.pbData);
        return blob;
    }

    TDpapiProtection Protection;
};

TEST_F(DpapiCodePage, ThePasswordIsProtectedInTheSystemsCodePage) {
    const auto ansi = Ansi(L"Gerät-7316");
    ASSERT_TRUE(ansi) << "code page " << ::GetACP();
    const auto blob = Protection.Protect(ZeroTerminated("Gerät-7316"), Description);
    ASSERT_TRUE(blob) << blob.Error().Reason;

    EXPECT_EQ(RawUnprotect(*blob), *ansi) << "code page " << ::GetACP();
}

TEST_F(DpapiCodePage, APeersBlobAndOneOfAnEarlierReleaseBothUnprotectToUtf8) {
    const auto ansi = Ansi(L"Gerät-7316");
    ASSERT_TRUE(ansi);
    EXPECT_EQ(Unprotected(Protection, RawProtect(*ansi)), ZeroTerminated("Gerät-7316"));
    // Earlier releases put the program's UTF-8 into the blob.
    EXPECT_EQ(Unprotected(Protection, RawProtect(ZeroTerminated("Gerät-7316"))),
              ZeroTerminated("Gerät-7316"));
}

TEST_F(DpapiCodePage, APasswordTheCodePageCannotHoldIsRefusedNotChanged) {
    if (Ansi(L"Schl\x00FCssel\xD83D\xDD12")) {
        GTEST_SKIP() << "code page " << ::GetACP() << " holds every character";
    }
    const auto refused = Protection.Protect(ZeroTerminated("Schlüssel🔒"), Description);
    EXPECT_FALSE(refused);
    EXPECT_THAT(refused.Error().Reason, ::testing::HasSubstr("code page"));
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
