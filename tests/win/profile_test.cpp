// Profile reads of real description files: key case, defaults, cuts, string sections.
#include "config/profile_win.h"

#include "config/string_table.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

namespace {

const char kShippedDescription[] =
    "[defs]\r\n"
    "components=cvclient\r\n"
    "strings=LangStrings,DefStrings\r\n"
    "allowintervention=TRUE\r\n"
    "\r\n"
    "[DefStrings]\r\n"
    "SiteName=downloads.example.net\r\n"
    "User=\r\n"
    "Directory=pub\\publicdl\r\n"
    "Protocol=http\r\n"
    "\r\n"
    ";X=3\r\n"
    "\r\n"
    "[LangStrings]\r\n"
    "CorvaneClient=Corvane Halverd Client\r\n"
    "SiteName=overridden by DefStrings\r\n"
    "\r\n"
    "[cvclient]\r\n"
    "displayOrder=10\r\n"
    "installOrder=1000\r\n"
    "name=%CorvaneClient%\r\n"
    "size=-5\r\n"
    "site=%SiteName%\r\n"
    "user=%User%\r\n"
    "sourceDir=%Directory%\r\n"
    "files=Corvane.exe\r\n"
    "Protocol=%Protocol%\r\n"
    "long=0123456789abcdefghijklmnopqrstuvwxyz\r\n"
    "percent=100%%\r\n";

// A description file in the temporary directory, removed with the fixture.
class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char directory[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof directory, directory), 0u);
        ASSERT_NE(0u, GetTempFileNameA(directory, "cvp", 0, path));
    }
    void TearDown() override {
        EmptyStringTableForTests();
        DeleteFileA(path);
    }
    void Write(const char* text) {
        FILE* file = fopen(path, "wb");
        ASSERT_NE(nullptr, file);
        fwrite(text, 1, strlen(text), file);
        fclose(file);
    }
    char path[MAX_PATH] = "";
};

TEST_F(ProfileTest, KeysAndSectionsMatchIgnoringCase) {
    Write(kShippedDescription);
    EXPECT_EQ(10, ReadInt("cvclient", "DisplayOrder", 100, path));
    EXPECT_EQ(1000, ReadInt("CVCLIENT", "InstallOrder", 100, path));
    EXPECT_EQ(100, ReadInt("cvclient", "Missing", 100, path));
    EXPECT_EQ(-5, ReadInt("cvclient", "size", 0, path));
    char out[64];
    EXPECT_STREQ("Corvane.exe", ReadValue("CvClient", "FILES", "", out, sizeof out, path));
}

TEST_F(ProfileTest, ValuesAndDefaultsAreSubstituted) {
    Write(kShippedDescription);
    char strings[256];
    ReadValue("defs", "strings", "", strings, sizeof strings, path);
    char* cursor = strings;
    int added = 0;
    for (char* section = NextToken(&cursor, ", "); section != nullptr;
         section = NextToken(&cursor, ", ")) {
        added += AddStringSection(section, path) ? 1 : 0;
    }
    EXPECT_EQ(2, added);
    EXPECT_FALSE(AddStringSection("NoSuchSection", path));

    struct Case {
        const char* key;
        const char* defaultText;
        const char* expected;
    };
    const Case cases[] = {
        {"name", "", "Corvane Halverd Client"},
        {"site", "", "downloads.example.net"},  // DefStrings was added last
        {"sourceDir", "", "pub\\publicdl"},
        {"Protocol", "selfext", "http"},
        {"user", "x", ""},
        {"percent", "", "100%"},
        {"missing", "%SiteName%", "downloads.example.net"},
        {"missing", "%X%", ""},  // ;X=3 is a comment
        {"missing", nullptr, ""},
    };
    for (const Case& c : cases) {
        char out[200];
        memset(out, 'x', sizeof out);
        ReadValue("cvclient", c.key, c.defaultText, out, sizeof out, path);
        EXPECT_STREQ(c.expected, out) << c.key;
    }
    char out[64];
    Substitute("%CorvaneClient% from %siteName%", out, sizeof out);
    EXPECT_STREQ("Corvane Halverd Client from downloads.example.net", out);
    ReadValue("cvclient", "site", "", out, sizeof out, "Z:\\no\\such\\file.inf");
    EXPECT_STREQ("", out);
    ReadValue("cvclient", "site", "%Directory%", out, sizeof out, "Z:\\no\\such\\file.inf");
    EXPECT_STREQ("pub\\publicdl", out);
}

TEST_F(ProfileTest, LongValuesAreCutBeforeAndAfterSubstitution) {
    Write(kShippedDescription);
    ASSERT_TRUE(AddStringSection("DefStrings", path));
    struct Case {
        const char* key;
        size_t size;
        const char* expected;
    };
    const Case cases[] = {
        {"long", 11, "0123456789"},
        {"long", 1, ""},
        {"site", 11, "downloads."},  // "%SiteName%" fits; its expansion is cut
        {"site", 5, ""},             // the read leaves "%Sit", an unfinished reference
        {"name", 64, ""},            // LangStrings is not loaded here
    };
    for (const Case& c : cases) {
        char out[80];
        memset(out, 'x', sizeof out);
        ReadValue("cvclient", c.key, "", out, c.size, path);
        EXPECT_STREQ(c.expected, out) << c.key << " " << c.size;
        EXPECT_EQ('x', out[c.size]) << c.key << " " << c.size;
    }
    char untouched = 'x';
    ReadValue("cvclient", "long", "", &untouched, 0, path);
    EXPECT_EQ('x', untouched);
}

TEST_F(ProfileTest, BuffersLargerThanTheRawMaximumStillTerminate) {
    static char text[kMaxRawValue * 2 + 64];
    static char value[kMaxRawValue + 200];
    memset(value, 'v', sizeof value - 1);
    value[sizeof value - 1] = '\0';
    snprintf(text, sizeof text, "[s]\r\nbig=%s\r\n", value);
    Write(text);
    static char out[kMaxRawValue * 2];
    ReadValue("s", "big", "", out, sizeof out, path);
    EXPECT_EQ(kMaxRawValue - 1, strlen(out));
}

TEST_F(ProfileTest, StringSectionLongerThanTheBufferIsCut) {
    static char text[8192];
    size_t used = 0;
    used += snprintf(text + used, sizeof text - used, "[Big]\r\n");
    const int kEntries = 120;  // about 40 characters each: well over the section buffer
    for (int i = 0; i < kEntries; ++i) {
        used += snprintf(text + used, sizeof text - used,
                         "Key%03d=value-of-entry-%03d-padding-text\r\n", i, i);
    }
    ASSERT_LT(used, sizeof text);
    Write(text);
    ASSERT_TRUE(AddStringSection("Big", path));
    ASSERT_NE(nullptr, LookUpString("Key000"));
    EXPECT_STREQ("value-of-entry-000-padding-text", LookUpString("key000"));
    EXPECT_STREQ("value-of-entry-010-padding-text", LookUpString("Key010"));
    EXPECT_EQ(nullptr, LookUpString("Key119"));
    EXPECT_EQ(nullptr, LookUpString("Key060"));
}

}  // namespace
