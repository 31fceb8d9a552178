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

// The bar follows the share of bytes done, whatever the size: packages of 64 MiB and
// more once wrapped its 16-bit range and stayed empty or full.
TEST(StatusLine, ProgressFollowsTheShareOfAnySize) {
    const int64_t mib = 1024 * 1024;
    const int64_t largest = 0x7FFFFFFF;
    struct Case {
        int64_t done, total;
        unsigned position;
    };
    const Case cases[] = {{0, -1, 0},
                          {500, -1, 0},
                          {0, 0, 0},
                          {1, 1, kProgressRange},
                          {512, 1024, 5000},
                          {1023, 1024, 9990},
                          {32 * mib, 64 * mib, 5000},
                          {65 * mib, 65 * mib, kProgressRange},
                          {1 * mib, 65 * mib, 153},
                          {largest - 1, largest, 9999},
                          {largest / 4, largest, 2499},
                          {-5, largest, 0},
                          {largest + 1, largest, kProgressRange},
                          {INT64_MAX / 2 + 1, INT64_MAX, 5000},
                          {INT64_MAX - 1, INT64_MAX, 9999}};
    for (const Case& c : cases)
        EXPECT_EQ(c.position, ProgressPosition(c.done, c.total)) << c.done << " of " << c.total;
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
