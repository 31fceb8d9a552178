// The numbers and texts the download dialog shows while a file arrives.
#include "common/status_line.h"

#include <gtest/gtest.h>

#include <string>

TEST(StatusLine, KilobytesRoundHalvesDown) {
    struct Case {
        int bytes;
        int shown;
    };
    const Case cases[] = {{0, 0},
                          {511, 0},
                          {512, 0},
                          {513, 1},
                          {1536, 1},
                          {1600, 2},
                          {10240, 10},
                          {-1, 0},
                          {2047, 2},
                          {2048, 2},
                          {0x7FFFFFFF, 2097152}};
    for (const Case& c : cases) EXPECT_EQ(c.shown, ShownKilobytes(c.bytes)) << c.bytes;
}

TEST(StatusLine, ProgressRangeKeepsSixteenBits) {
    struct Case {
        int size;
        unsigned upper;
    };
    const Case cases[] = {{-1, 0},
                          {0, 0},
                          {1023, 0},
                          {10240, 10},
                          {64 * 1024 * 1024 - 1024, 65535},
                          {64 * 1024 * 1024, 0},
                          {65 * 1024 * 1024, 1024}};
    for (const Case& c : cases) EXPECT_EQ(c.upper, ProgressUpperBound(c.size)) << c.size;
}

TEST(StatusLine, FirstArgumentReplacedEverywhereWithinBounds) {
    char out[32];
    EXPECT_FALSE(
        ReplaceEveryPercentOne("Error while downloading %1: full", "a.bin", out, sizeof out));
    EXPECT_STREQ("Error while downloading a.bin: ", out);
    char big[128];
    EXPECT_TRUE(ReplaceEveryPercentOne("%1 and %1, 100%", "x", big, sizeof big));
    EXPECT_STREQ("x and x, 100%", big);
    EXPECT_FALSE(ReplaceEveryPercentOne("%1", "toolong", out, 4));
    EXPECT_STREQ("too", out);
    EXPECT_FALSE(ReplaceEveryPercentOne("abc", "", out, 0));
}
