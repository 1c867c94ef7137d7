#include <gtest/gtest.h>

#include <algorithm>

#include "presenter/ProxySettings.h"
#include "qortest/PlatformTestSupport.h"
#include "secrets/UserDataProtection.h"

using namespace qor;
using namespace qor::test;

TEST(UserDataProtectionTest, TheKeyLivesInTheMakersFolder) {
    TScratchDir dir;
    const TEnvironment config("XDG_CONFIG_HOME", dir.Path());
    const std::string folder = dir / "zentrova GmbH";
    auto protection = MakeUserDataProtection();
    const std::vector<std::uint8_t> password = {'p', 'w', 0};
    const auto blob = protection->Protect(password, ProxyPasswordDescription);
    ASSERT_TRUE(blob.Ok()) << blob.Error().Reason;
    EXPECT_EQ(ModeOf(folder + "/data-protection.key"), 0600);
    const auto plain = MakeUserDataProtection()->Unprotect(*blob);
    ASSERT_TRUE(plain.Ok());
    EXPECT_TRUE(
        std::equal(password.begin(), password.end(), plain->View().begin(), plain->View().end()));
}
