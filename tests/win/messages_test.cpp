// The transfer messages are registered before the entry runs, under their names.
#include "transfer/messages_win.h"

#include <gtest/gtest.h>

TEST(RegisteredMessages, AreRegisteredUnderTheirNames) {
    struct Case { UINT id; const char* name; };
    const Case cases[] = {
        {msgDl1, "dl1"},       {msgDl2, "dl2"},       {msgDl3, "dl3"},
        {msgDl4, "dl4"},       {msgDl5, "dl5"},       {msgDli1, "dli1"},
        {msgDlftp1, "dlftp1"}, {msgDlftp2, "dlftp2"}, {msgDlftp3, "dlftp3"},
        {msgDldone, "dldone"}, {msgHttpSettingsWanted, "dlsettings"},
    };
    for (const Case& c : cases) {
        EXPECT_GE(c.id, 0xC000u) << c.name;
        EXPECT_EQ(RegisterWindowMessageA(c.name), c.id) << c.name;
        for (const Case& other : cases)
            if (&other != &c) {
                EXPECT_NE(other.id, c.id) << c.name << " " << other.name;
            }
    }
}
