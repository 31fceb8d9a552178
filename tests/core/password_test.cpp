// Unscrambling of description passwords, checked against examples worked by hand, and the
// publisher's scrambling against it.
#include "transfer/password.h"

#include <gtest/gtest.h>
#include <string.h>

// Worked by hand. "EBEAAKY=" is 10 11 00 00 a6: k = 0x10, m = 0x11 (rotation 1, offset 2);
// a6 rotated right by 1 is 53, minus 2 is 51, XOR 10 is 41 "A".
// "))8AAACA" is ff ff 00 00 00 80: k = 0xff, m = 0xff (rotation 7, offset 31); 00 stays 00,
// minus 31 is e1, XOR ff is 1e; 80 rotated right by 7 is 01, minus 31 is e2, XOR (ff + 1 =
// 00) is e2.
TEST(Password, UnscramblesHandWorkedExamples) {
    struct Case {
        const char* scrambled;
        const char* plain;
    };
    const Case cases[] = {
        {"EBEAAKY=", "A"},
        {"))8AAACA", "\x1e\xe2"},
        {"AAAAAA==", ""},         // exactly four bytes: an empty password
        {"EB EA\r\nAK*Y=", "A"},  // characters outside the alphabet are skipped
    };
    for (const Case& c : cases) {
        char plain[kPasswordFieldSize] = "old";
        ASSERT_TRUE(UnscramblePassword(c.scrambled, plain)) << c.scrambled;
        EXPECT_STREQ(c.plain, plain) << c.scrambled;
    }
}

TEST(Password, LeavesThePasswordAsItWasWhenUnusable) {
    char longText[400] = "";
    for (int i = 0; i < 87; ++i) strncat(longText, "AAAA", 5);  // 261 bytes
    const char* cases[] = {
        "",           // nothing
        "AAAA",       // three bytes
        "AAAAAA",     // ends inside a group
        "=AAAAAAA",   // the data ends at once
        "EBEA+AKY/",  // "+" and "/" are skipped, which leaves the last group short
        longText,     // longer than the field
    };
    for (const char* scrambled : cases) {
        char plain[kPasswordFieldSize] = "old";
        EXPECT_FALSE(UnscramblePassword(scrambled, plain)) << scrambled;
        EXPECT_STREQ("old", plain);
    }
    char small[2] = "x";
    EXPECT_FALSE(UnscramblePassword("EBEAAKY=", small, 1));
    EXPECT_STREQ("x", small);
    EXPECT_TRUE(UnscramblePassword("EBEAAKY=", small));
    EXPECT_STREQ("A", small);
}

TEST(Password, DataOfExactlyTheFieldSizeIsAccepted) {
    unsigned char password[kMaxScrambledPasswordLength];
    memset(password, 'p', sizeof password);
    char scrambled[400];
    ASSERT_TRUE(ScramblePassword(password, sizeof password, 1, 2, 3, scrambled, sizeof scrambled));
    char plain[kPasswordFieldSize];
    ASSERT_TRUE(UnscramblePassword(scrambled, plain));
    EXPECT_EQ(kMaxScrambledPasswordLength, strlen(plain));
    EXPECT_FALSE(
        ScramblePassword(password, sizeof password + 1, 1, 2, 3, scrambled, sizeof scrambled));
}

TEST(Password, ScrambleMatchesHandWorkedExample) {
    char scrambled[16];
    ASSERT_TRUE(ScramblePassword(reinterpret_cast<const unsigned char*>("A"), 1, 0x10, 0x11, 0,
                                 scrambled, sizeof scrambled));
    EXPECT_STREQ("EBEAAKY=", scrambled);
    EXPECT_FALSE(ScramblePassword(reinterpret_cast<const unsigned char*>("A"), 1, 0x10, 0x11, 0,
                                  scrambled, 8));
    EXPECT_STREQ("", scrambled);
}

// Every control byte (all rotations and offsets), start values that wrap, lengths from empty
// to the longest, and bytes above 127.
TEST(Password, ScrambleRoundTrips) {
    unsigned char password[kMaxScrambledPasswordLength];
    for (size_t i = 0; i < sizeof password; ++i)
        password[i] = static_cast<unsigned char>(1 + (i * 37 + 200) % 255);  // never 0
    const size_t lengths[] = {0, 1, 2, 3, 7, 68, 99, 255, kMaxScrambledPasswordLength};
    for (size_t length : lengths) {
        for (int control = 0; control < 256; ++control) {
            unsigned char start = static_cast<unsigned char>(control * 11 + length);
            char scrambled[400];
            ASSERT_TRUE(ScramblePassword(password, length, start,
                                         static_cast<unsigned char>(control), 0xBEEF, scrambled,
                                         sizeof scrambled));
            char plain[kPasswordFieldSize];
            ASSERT_TRUE(UnscramblePassword(scrambled, plain)) << scrambled;
            ASSERT_EQ(length, strlen(plain)) << length << " " << control;
            ASSERT_EQ(0, memcmp(password, plain, length)) << length << " " << control;
        }
    }
}
