#include <gtest/gtest.h>

#include "platform/SettingsStore.h"
#include "platform/UserServices.h"
#include "presenter/ProxySettings.h"
#include "qortest/PlatformTestSupport.h"

using namespace qor;
using namespace qor::test;

TEST(UserServicesTest, ConfigDirectoryFollowsTheXdgRules) {
    const TEnvironment home("HOME", "/home/tech");
    {
        const TEnvironment config("XDG_CONFIG_HOME", "/srv/conf");
        EXPECT_EQ(UserConfigDirectory(), "/srv/conf");
    }
    {
        const TEnvironment relative("XDG_CONFIG_HOME", "conf"); // relative: to be ignored
        EXPECT_EQ(UserConfigDirectory(), "/home/tech/.config");
    }
    const TEnvironment empty("XDG_CONFIG_HOME", "");
    EXPECT_EQ(UserConfigDirectory(), "/home/tech/.config");
}

TEST(UserServicesTest, ProductSettingsAndKeyLiveInTheMakersFolder) {
    TScratchDir dir;
    const TEnvironment config("XDG_CONFIG_HOME", dir.Path());
    auto store = MakeUserRegistryStore();
    TSettings settings;
    TSettingsStore(*store).Load(settings);
    const std::string folder = dir / "zentrova GmbH";
    EXPECT_NE(
        ReadText(folder + "/QOR 7316 Firmware Updater.reg").find("\"Language\"=dword:00000001"),
        std::string::npos);

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
