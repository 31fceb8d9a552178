// Bounded copies: they always terminate and report every cut.
#include "common/text.h"

#include <gtest/gtest.h>
#include <string.h>

TEST(Text, CopyCutsAtSizeMinusOneAndReports) {
    struct Case {
        const char* source;
        size_t size;
        const char* expected;
        bool whole;
    };
    const Case cases[] = {
        {"abc", 4, "abc", true}, {"abcd", 4, "abc", false}, {"", 1, "", true},
        {"a", 1, "", false},     {"abc", 10, "abc", true},
    };
    for (const Case& c : cases) {
        char out[16];
        memset(out, 'x', sizeof out);
        EXPECT_EQ(c.whole, CopyTextN(out, c.size, c.source)) << c.source << " " << c.size;
        EXPECT_STREQ(c.expected, out) << c.source << " " << c.size;
    }
}

TEST(Text, AppendKeepsWithinArray) {
    char out[6] = "ab";
    EXPECT_TRUE(AppendText(out, "cd"));
    EXPECT_STREQ("abcd", out);
    EXPECT_FALSE(AppendText(out, "efg"));
    EXPECT_STREQ("abcde", out);
    EXPECT_FALSE(AppendText(out, "z"));
    EXPECT_STREQ("abcde", out);
    EXPECT_TRUE(AppendText(out, ""));
}

TEST(Text, PrefixCopyStopsAtCountOrNul) {
    char out[8];
    EXPECT_TRUE(CopyTextPrefixN(out, sizeof out, "abcdef", 3));
    EXPECT_STREQ("abc", out);
    EXPECT_TRUE(CopyTextPrefixN(out, sizeof out, "ab", 5));
    EXPECT_STREQ("ab", out);
    EXPECT_FALSE(CopyTextPrefixN(out, 3, "abcdef", 5));
    EXPECT_STREQ("ab", out);
}

TEST(Text, CaseInsensitiveComparisonIsAsciiOnly) {
    EXPECT_TRUE(EqualsIgnoringCase("DisplayOrder", "displayorder"));
    EXPECT_FALSE(EqualsIgnoringCase("Site", "SiteName"));
    EXPECT_FALSE(EqualsIgnoringCase("\xC4", "\xE4"));
    EXPECT_TRUE(EqualsIgnoringCaseN(".INF", ".inf", 4));
    EXPECT_FALSE(EqualsIgnoringCaseN("abc", "abd", 3));
    EXPECT_TRUE(EqualsIgnoringCaseN("abc", "abd", 2));
}

TEST(Text, FormatDecimal) {
    struct Case {
        long long value;
        int minimumDigits;
        size_t size;
        bool fits;
        const char* expected;
    };
    const Case cases[] = {
        {0, 1, 8, true, "0"},
        {7, 3, 8, true, "007"},
        {1234, 3, 8, true, "1234"},
        {-42, 1, 8, true, "-42"},
        {-5, 3, 8, true, "-005"},
        {2147483647, 1, 11, true, "2147483647"},
        {2147483647, 1, 10, false, ""},
        {-9223372036854775807LL - 1, 1, 21, true, "-9223372036854775808"},
        {99, 1, 3, true, "99"},
        {100, 1, 3, false, ""},
    };
    for (const Case& c : cases) {
        char out[32];
        memset(out, 'x', sizeof out);
        EXPECT_EQ(c.fits, FormatDecimal(out, c.size, c.value, c.minimumDigits)) << c.value;
        EXPECT_STREQ(c.expected, out) << c.value;
    }
    char untouched = 'x';
    EXPECT_FALSE(FormatDecimal(&untouched, 0, 5));
    EXPECT_EQ('x', untouched);
}

// Each blank family member against every character that one of them takes, and two that
// none does (a letter, and a byte above 127 that a signed char makes negative).
TEST(Text, BlankFamilyMeanings) {
    struct Case {
        char c;
        bool blank, blankOrLineEnd, blankOrSpaceControl;
    };
    const Case cases[] = {
        {' ', true, true, true},    {'\t', true, true, true},      {'\r', false, true, true},
        {'\n', false, true, true},  {'\v', false, false, true},    {'\f', false, false, true},
        {'a', false, false, false}, {'\xA0', false, false, false}, {'\0', false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.c));
        EXPECT_EQ(c.blank, IsBlank(c.c));
        EXPECT_EQ(c.blankOrLineEnd, IsBlankOrLineEnd(c.c));
        EXPECT_EQ(c.blankOrSpaceControl, IsBlankOrSpaceControl(c.c));
    }
}
