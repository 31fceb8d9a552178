// Loading a string resource into a fixed buffer: whole, cut and terminated, or empty
// when the string does not exist.
#include "common/resource_string_win.h"
#include "shell/resource_ids.h"

#include <gtest/gtest.h>

#include <string.h>

TEST(ResourceString, LoadsCutsOrEmpties) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    char title[100] = "stale";
    EXPECT_TRUE(LoadResourceString(instance, IDS_APP_TITLE, title));
    EXPECT_STREQ("Corvane Lite Installer", title);

    char cut[8] = "stale";
    EXPECT_TRUE(LoadResourceString(instance, IDS_APP_TITLE, cut));
    EXPECT_STREQ("Corvane", cut);

    char missing[16] = "stale";
    EXPECT_FALSE(LoadResourceString(instance, 516, missing));  // 516 is left unused
    EXPECT_STREQ("", missing);

    char none[1] = {'x'};
    EXPECT_FALSE(LoadResourceString(instance, IDS_APP_TITLE, none, 0));
    EXPECT_EQ('x', none[0]);
}
