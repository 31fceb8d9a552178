// The run's log file: appended to, cut back to its newer half from a whole line once it
// would pass its limit, and stopped, not failing, where it cannot be written.
#include "common/run_log_win.h"
#include "process_support.h"

#include <gtest/gtest.h>

#include <string>

TEST(RunLogFile, AFullLogKeepsItsNewerHalfFromAWholeLine) {
    ScratchDirectory scratch;
    const std::string path = scratch.Path() + "\\full.log";
    std::string old;
    for (int n = 0; old.size() < kRunLogLimit - 40; ++n)
        old += "2026-01-01 00:00:00.000 older line " + std::to_string(n) + "\r\n";
    WriteWholeFile(path, old);
    ASSERT_TRUE(OpenRunLog(("-Log=\"" + path + "\"").c_str()));
    EXPECT_EQ(path, RunLogPath());
    LogEvent("first %s line of %d bytes", "new", 1234567);
    LogEvent("second new line");
    CloseRunLog();
    std::string text = ReadWholeFile(path);
    EXPECT_LE(text.size(), kRunLogLimit / 2 + 200);
    EXPECT_EQ(0u, text.find("2026-01-01 00:00:00.000 older line ")) << text.substr(0, 80);
    EXPECT_NE(std::string::npos, text.find(" first new line of 1234567 bytes\r\n"));
    EXPECT_EQ(text.size() - 17, text.rfind(" second new line\r\n") + 1);
    // The older lines that stayed are the newest ones, whole.
    EXPECT_NE(std::string::npos, text.find(old.substr(old.size() - 100)));
}

TEST(RunLogFile, AFolderThatCannotBeWrittenOnlyStopsTheLog) {
    ScratchDirectory scratch;
    EXPECT_FALSE(OpenRunLog(("/Log=" + scratch.Path() + "\\missing\\x.log").c_str()));
    EXPECT_STREQ("", RunLogPath());
    LogEvent("nowhere to go");  // nothing happens, nothing fails
}
