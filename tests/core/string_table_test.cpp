// String sections, %name% substitution and list tokens.
#include "config/string_table.h"

#include "common/text.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Builds a section text as the profile section read returns it from entries separated by
// '|', and adds it. Returns the character count the read would report.
size_t AddSection(const char* entries) {
    char text[512];
    size_t n = strlen(entries);
    memcpy(text, entries, n);
    for (size_t i = 0; i < n; ++i) {
        if (text[i] == '|') text[i] = '\0';
    }
    text[n] = '\0';
    text[n + 1] = '\0';
    EXPECT_TRUE(AddStringSectionText(text, n + 1));
    return n + 1;
}

class StringTableTest : public ::testing::Test {
protected:
    void TearDown() override { EmptyStringTableForTests(); }
};

TEST_F(StringTableTest, LookUpFollowsNewestSectionEntryOrderAndCase) {
    AddSection("X=1|Only=a|Dup=first|Dup=second");
    AddSection("x=2|;Hidden=3|NoEquals|SiteName=host|Site=short|Empty=");
    struct Case {
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"X", "2"},           {"x", "2"},           {"Only", "a"},          {"Dup", "first"},
        {"SiteName", "host"}, {"sitename", "host"}, {"SiteNameX", nullptr}, {"Site", "short"},
        {";Hidden", nullptr}, {"Hidden", nullptr},  {"NoEquals", nullptr},  {"Empty", ""},
        {"Missing", nullptr},
    };
    for (const Case& c : cases) {
        const char* value = LookUpString(c.name);
        if (c.expected == nullptr) {
            EXPECT_EQ(nullptr, value) << c.name;
        } else {
            ASSERT_NE(nullptr, value) << c.name;
            EXPECT_STREQ(c.expected, value) << c.name;
        }
    }
}

TEST_F(StringTableTest, SameSectionTwiceAndEmptyCountAddNothingWrong) {
    EXPECT_FALSE(AddStringSectionText("A=1\0", 0));
    EXPECT_EQ(nullptr, LookUpString("A"));
    AddSection("A=1");
    AddSection("A=1");
    EXPECT_STREQ("1", LookUpString("A"));
    EmptyStringTableForTests();
    EXPECT_EQ(nullptr, LookUpString("A"));
}

TEST_F(StringTableTest, CutSectionTextStaysInsideItsNode) {
    // A read cut in the middle of an entry: the last character is dropped rather than
    // letting the walk run past the node.
    const char text[] = {'A', '=', '1', '\0', 'B', '=', '2', '2', 'x'};
    ASSERT_TRUE(AddStringSectionText(text, sizeof text - 1));
    EXPECT_STREQ("1", LookUpString("A"));
    EXPECT_STREQ("2", LookUpString("B"));
    EXPECT_EQ(nullptr, LookUpString("C"));
}

TEST_F(StringTableTest, SubstituteExpandsReferences) {
    AddSection("SiteName=host|Other=%Secret%|Secret=no|Percent=50%");
    char longName[kMaxReferenceName + 1];
    memset(longName, 'N', sizeof longName - 1);
    longName[sizeof longName - 1] = '\0';
    char longEntry[200] = "";
    snprintf(longEntry, sizeof longEntry, "%s=long", longName);
    AddSection(longEntry);

    char refLongest[200], refTooLong[200];
    snprintf(refLongest, sizeof refLongest, "a%%%s%%b", longName);
    snprintf(refTooLong, sizeof refTooLong, "a%%%sN%%b%%SiteName%%", longName);
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"%Missing%", ""},
        {"a%Missing%b", "ab"},
        {"100%%", "100%"},
        {"%%Name%%", "%Name%"},
        {"abc%", "abc"},
        {"abc%Name", "abc"},
        {"%", ""},
        {"%%", "%"},
        {"%%%", "%"},
        {"%SiteName%", "host"},
        {"%sitename%", "host"},
        {"ftp://%SiteName%/%SiteName%", "ftp://host/host"},
        {"%Other%", "%Secret%"},
        {"%Percent%%%", "50%%"},
        {"%%SiteName%SiteName%", "%SiteNamehost"},
        {refLongest, "alongb"},
        {refTooLong, "abhost"},
    };
    for (const Case& c : cases) {
        char out[64];
        memset(out, 'x', sizeof out);
        Substitute(c.text, out, sizeof out);
        EXPECT_STREQ(c.expected, out) << c.text;
    }
}

TEST_F(StringTableTest, SubstituteCutsAtSizeMinusOne) {
    AddSection("Long=0123456789");
    struct Case {
        const char* text;
        size_t size;
        const char* expected;
    };
    const Case cases[] = {
        {"%Long%", 5, "0123"}, {"ab%Long%", 5, "ab01"}, {"%Long%", 1, ""},
        {"%%%%", 2, "%"},      {"abcdef", 4, "abc"},    {"%Long%tail", 11, "0123456789"},
    };
    for (const Case& c : cases) {
        char out[32];
        memset(out, 'x', sizeof out);
        Substitute(c.text, out, c.size);
        EXPECT_STREQ(c.expected, out) << c.text << " " << c.size;
        EXPECT_EQ('x', out[c.size]) << "wrote past the size: " << c.text;
    }
    char untouched = 'x';
    Substitute("%Long%", &untouched, 0);
    EXPECT_EQ('x', untouched);
}

TEST_F(StringTableTest, EveryPrefixOfAReferenceIsSafe) {
    AddSection("Name=value");
    const char full[] = "a%%b%Name%c%Missing%d%";
    for (size_t n = 0; n <= strlen(full); ++n) {
        // Each prefix in an allocation of exactly its size, so reading past the NUL shows.
        char* prefix = static_cast<char*>(malloc(n + 1));
        memcpy(prefix, full, n);
        prefix[n] = '\0';
        for (size_t size = 0; size < 24; ++size) {
            char* out = static_cast<char*>(malloc(size == 0 ? 1 : size));
            Substitute(prefix, out, size);
            if (size > 0) {
                EXPECT_LT(strlen(out), size);
            }
            free(out);
        }
        free(prefix);
    }
}

TEST(NextToken, SplitsInPlaceWithoutEmptyTokens) {
    struct Case {
        const char* list;
        const char* delimiters;
        const char* tokens[4];
    };
    const Case cases[] = {
        {" ,a,, b ,", ", ", {"a", "b"}},
        {"a b", " ,", {"a", "b"}},
        {"cvclient", ", ", {"cvclient"}},
        {"", ", ", {}},
        {" , ,", ", ", {}},
        {"4.71..2.", ".", {"4", "71", "2"}},
        {"a.dll:#4.71,b.dll", ", ", {"a.dll:#4.71", "b.dll"}},
    };
    for (const Case& c : cases) {
        char buffer[64];
        ASSERT_TRUE(CopyText(buffer, c.list));
        char* cursor = buffer;
        for (const char* expected : c.tokens) {
            if (expected == nullptr) break;
            const char* token = NextToken(&cursor, c.delimiters);
            ASSERT_NE(nullptr, token) << c.list;
            EXPECT_STREQ(expected, token) << c.list;
        }
        EXPECT_EQ(nullptr, NextToken(&cursor, c.delimiters)) << c.list;
        EXPECT_EQ(buffer + strlen(c.list), cursor) << c.list;
        EXPECT_EQ(nullptr, NextToken(&cursor, c.delimiters)) << c.list;
    }
}

}  // namespace
