#include <gtest/gtest.h>

#include "platform/UserServices.h"
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
