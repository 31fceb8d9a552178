// Fresh directory names and the tag that marks a work directory as the installer's own.
#include "config/work_directory_tag.h"

#include <gtest/gtest.h>

#include <string>

TEST(WorkDirectoryTag, OnlyTheFullRecordedTagMatchesTheMarker) {
    const unsigned char random[kWorkTagRandomBytes] = {0x00, 0x01, 0x7f, 0x80, 0xff, 0xa5,
                                                       0x5a, 0x10, 0x20, 0x30, 0x40, 0x50,
                                                       0x60, 0x70, 0x90, 0xfe};
    char tag[kWorkTagDigits + 1];
    FormatWorkTag(random, tag);
    EXPECT_STREQ(
        "00017f80ffa55a10203040506070"
        "90fe",
        tag);
    const std::string full = tag;
    const std::string longer = full + "0";
    struct Case {
        const char* name;
        std::string marker;
        const char* recorded;
        bool matches;
    };
    const Case cases[] = {
        {"same tag", full, tag, true},
        {"marker with a line break", full + "\r\n", tag, false},
        {"marker cut short", full.substr(0, 31), tag, false},
        {"one digit differs", full.substr(0, 31) + "f", tag, false},
        {"no record", full, nullptr, false},
        {"empty record and empty marker", "", "", false},
        {"short record matching a short marker", "abcd", "abcd", false},
        {"record longer than a tag", longer, longer.c_str(), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.matches, WorkTagMatches(c.marker.data(), c.marker.size(), c.recorded))
            << c.name;
}

TEST(WorkDirectoryTag, FreshNamesAreBuiltOrRefusedWhole) {
    const unsigned char random[4] = {0xde, 0xad, 0x01, 0x9b};
    struct Case {
        const char* parent;
        size_t size;
        bool fits;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\TEMP\\", 260, true, "C:\\TEMP\\instdead019b"},
        {"C:\\TEMP", 260, true, "C:\\TEMP\\instdead019b"},
        {"C:\\TEMP\\", 21, true, "C:\\TEMP\\instdead019b"},  // exactly fits with its NUL
        {"C:\\TEMP\\", 20, false, ""},
        {"", 260, false, ""},
    };
    for (const Case& c : cases) {
        char out[260] = "stale";
        EXPECT_EQ(c.fits, BuildFreshDirectoryName(c.parent, "inst", random, out, c.size))
            << c.parent;
        EXPECT_STREQ(c.expected, out) << c.parent << " " << c.size;
    }
}
