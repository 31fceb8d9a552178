// The transfer messages are registered before the entry runs, under their names.
#include "transfer/messages_win.h"

#include <gtest/gtest.h>

TEST(RegisteredMessages, AreRegisteredUnderTheirNames) {
    struct Case {
        UINT id;
        const char* name;
    };
    const Case cases[] = {
        {msgConnected, "dl1"},
        {msgFileStarted, "dl2"},
        {msgProgress, "dl3"},
        {msgFileDone, "dl4"},
        {msgWaitingForNetwork, "dl5"},
        {msgHostLookupDone, "dli1"},
        {msgFtpControlEvent, "dlftp1"},
        {msgFtpListenEvent, "dlftp2"},
        {msgFtpDataEvent, "dlftp3"},
        {msgRunOver, "dldone"},
        {msgHttpSettingsWanted, "dlsettings"},
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
