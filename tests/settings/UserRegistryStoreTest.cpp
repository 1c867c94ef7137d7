#include <gtest/gtest.h>

#include "qortest/PlatformTestSupport.h"
#include "settings/SettingsStore.h"
#include "settings/UserRegistryStore.h"

using namespace qor;
using namespace qor::test;

TEST(UserRegistryStoreTest, ProductSettingsLiveInTheMakersFolder) {
    TScratchDir dir;
    const TEnvironment config("XDG_CONFIG_HOME", dir.Path());
    auto store = MakeUserRegistryStore();
    TSettings settings;
    ASSERT_TRUE(TSettingsStore(*store).Load(settings));
    const std::string folder = dir / "zentrova GmbH";
    EXPECT_NE(
        ReadText(folder + "/QOR 7316 Firmware Updater.reg").find("\"Language\"=dword:00000001"),
        std::string::npos);
}
