// Run where the loader finds, under libcurl's and libsodium's names, a library with none of
// their functions (see CMakeLists.txt): a system without what the package depends on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "download/CurlHttpSession.h"
#include "qortest/ScratchDir.h"
#include "secrets/SodiumProtection.h"

using namespace qor;
using ::testing::HasSubstr;

namespace {

TEST(MissingLibraries, ADownloadFailsNamingWhatLibcurlLacks) {
    TCurlHttpSession session(THttpWait{});
    THttpRequest request;
    request.Host = "127.0.0.1";
    request.Path = "/a.bin";
    const auto response = session.Get(request);
    ASSERT_FALSE(response);
    EXPECT_EQ(response.Error().Reason, THttpFailure::Setup);
    EXPECT_THAT(response.Error().Detail, HasSubstr("has no curl_"));
    // Asked again, the same answer: the library is looked for once.
    const auto again = session.Get(request);
    ASSERT_FALSE(again);
    EXPECT_EQ(again.Error().Detail, response.Error().Detail);
}

TEST(MissingLibraries, ASecretIsNeitherProtectedNorReadWithoutLibsodium) {
    const test::TScratchDir directory;
    TSodiumProtection protection(TSodiumProtection::KeyFileIn(directory.Path()));
    const std::uint8_t secret[] = {'p', 'w', 0};
    const auto blob = protection.Protect(secret, u"proxy");
    ASSERT_FALSE(blob);
    EXPECT_THAT(blob.Error().Reason, HasSubstr("has no sodium_init"));
    const std::uint8_t stored[] = {'Q', 'P', 'B', 1};
    const auto read = protection.Unprotect(stored);
    ASSERT_FALSE(read);
    EXPECT_THAT(read.Error().Reason, HasSubstr("has no sodium_init"));
}

} // namespace
