// The run's log: the switch that names its file, where a cut-back file starts, and what
// of a site it may show.
#include "common/run_log.h"

#include <gtest/gtest.h>

#include <string>

TEST(RunLog, LogSwitchNamesItsFile) {
    struct Case {
        const char* line;
        const char* path;  // nullptr: no path taken
    };
    const Case cases[] = {
        {"/Log=C:\\t\\run.log", "C:\\t\\run.log"},
        {"/NoIntervention -Log=D:\\x.log /SaveProxySettings", "D:\\x.log"},
        {"/Log=\"C:\\a b\\x.log\" /tray", "C:\\a b\\x.log"},
        {"\"/Log=C:\\a b\\x.log\"", "C:\\a b\\x.log"},
        {"/Log=\"C:\\open ended", "C:\\open ended"},
        {"/Log=", nullptr},
        {"/Log=\"\"", nullptr},
        {"/log=C:\\x.log", nullptr},       // switches are written exactly
        {"-inf C:\\d\\x/Log=y", nullptr},  // not the start of a switch
        {"", nullptr},
    };
    for (const Case& c : cases) {
        char out[64] = "stale";
        EXPECT_EQ(c.path != nullptr, FindLogPath(c.line, out, sizeof out)) << c.line;
        EXPECT_STREQ(c.path != nullptr ? c.path : "", out) << c.line;
    }
    char small[8] = "stale";
    EXPECT_FALSE(FindLogPath("/Log=C:\\longer.log", small, sizeof small));
    EXPECT_STREQ("", small);
}

TEST(RunLog, TheNewerHalfStartsAtAWholeLine) {
    const std::string cases[][2] = {
        {"ail of a line\r\n2026 next\r\n", "2026 next\r\n"},
        {"\nwhole\n", "whole\n"},
        {"no line end at all", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        size_t start = FirstWholeLine(c[0].data(), c[0].size());
        EXPECT_EQ(c[1], c[0].substr(start)) << c[0];
    }
}

TEST(RunLog, SitesLoseTheirCredentials) {
    const char* cases[][2] = {
        {"corvane:Tarrock-7@127.0.0.1/pkg", "127.0.0.1/pkg"},
        {"https://u:p@w@host:8443/a@b/", "https://host:8443/a@b/"},
        {"ftp.example/pub/a@b.exe", "ftp.example/pub/a@b.exe"},
        {"plain.example", "plain.example"},
        {"", ""},
    };
    for (const auto& c : cases) {
        char out[64];
        SiteForLog(c[0], out, sizeof out);
        EXPECT_STREQ(c[1], out) << c[0];
    }
}

TEST(RunLog, TimeStampHasFixedWidth) {
    char out[32];
    FormatLogTime(2026, 1, 2, 3, 4, 5, 6, out, sizeof out);
    EXPECT_STREQ("2026-01-02 03:04:05.006 ", out);
}
