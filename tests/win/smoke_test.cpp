// The Windows test program starts under Wine and sees a Windows platform.
#include <windows.h>

#include <gtest/gtest.h>

TEST(WineSmoke, RunsAsWin32Process) {
    char path[MAX_PATH] = {0};
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    EXPECT_NE(nullptr, GetModuleHandleA("kernel32.dll"));
}
