// Protocol words, status texts, required versions, the Size cell, the CD-ROM source
// directory and the allowintervention switch of the component table.
#include "config/component_rules.h"

#include "common/text.h"

#include <gtest/gtest.h>

namespace {

TEST(ComponentRules, ProtocolWords) {
    struct Case {
        const char* text;
        ProtocolKind expected;
    };
    const Case cases[] = {
        {"ftp", ProtocolFtp},           {"FTP", ProtocolFtp},
        {"Copy", ProtocolCopy},         {"copy", ProtocolCopy},
        {"CDROM", ProtocolCdrom},       {"cdrom", ProtocolCdrom},
        {"http", ProtocolHttp},         {"HTTP", ProtocolSelfExtract},
        {"Http", ProtocolSelfExtract},  {kDefaultProtocol, ProtocolSelfExtract},
        {"", ProtocolSelfExtract},      {"ftp ", ProtocolSelfExtract},
        {"https", ProtocolSelfExtract},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, ProtocolFromText(c.text)) << c.text;
}

TEST(ComponentRules, StatusStringIdsSkip516) {
    const unsigned expected[] = {512, 513, 514, 515, 517, 518, 519, 520};
    for (int32_t status = AlreadyInstalled; status <= InstallDone; ++status) {
        EXPECT_EQ(expected[status], StatusStringId(status)) << status;
    }
    EXPECT_EQ(kNoStatusString, StatusStringId(-1));
    EXPECT_EQ(kNoStatusString, StatusStringId(8));
}

TEST(ComponentRules, RequiredVersionParse) {
    struct Case {
        const char* text;
        uint32_t high;
        uint32_t low;
    };
    const Case cases[] = {
        {"4.71", 0x00040047, 0},
        {"5", 0x00050000, 0},
        {"1.2.3.4", 0x00010002, 0x00030004},
        {"1.2.3.4.5", 0x00010002, 0x00030004},
        {"", 0, 0},
        {"4..71", 0x00040047, 0},    // empty parts are skipped like empty list tokens
        {"4.70000", 0x0004FFFF, 0},  // a part above 16 bits is held at 65535
        {"99999999999999999999.1", 0xFFFF0001, 0},
        {"4a.x.-3.7", 0x00040000, 0x00000007},  // a part is its leading digits, none is 0
    };
    for (const Case& c : cases) {
        VersionNumber v = ParseRequiredVersion(c.text);
        EXPECT_EQ(c.high, v.high) << c.text;
        EXPECT_EQ(c.low, v.low) << c.text;
    }
}

TEST(ComponentRules, InstalledVersionComparison) {
    struct Case {
        const char* installed;
        const char* required;
        bool passes;
    };
    const Case cases[] = {
        {"4.71", "4.71", true},
        {"4.71.0.1", "4.71", true},
        {"4.70.9999.0", "4.71", false},
        {"5.0", "4.71.9.9", true},
        {"5", "5", true},
        {"4.99.99.99", "5", false},
        {"65535.0", "1.0", true},
        {"1.2.65535.0", "1.2.65535.1", false},
        {"1.2.65535.1", "1.2.32768.0", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.passes, VersionSatisfies(ParseRequiredVersion(c.installed),
                                             ParseRequiredVersion(c.required)))
            << c.installed << " against " << c.required;
    }
    // Unsigned: a high word with the top bit set is still the larger one.
    EXPECT_TRUE(VersionSatisfies({0x80000000u, 0}, {0x7FFFFFFFu, 0xFFFFFFFFu}));
}

TEST(ComponentRules, FileRequirementSplit) {
    struct Case {
        const char* token;
        const char* file;
        const char* version;
        bool fileVersion;
    };
    const Case cases[] = {
        {"comctl32.dll", "comctl32.dll", nullptr, false},
        {"a.dll:#4.71", "a.dll", "4.71", true},
        {"a.dll:5", "a.dll", "5", false},
        {"a.dll:", "a.dll", "", false},
        {"a.dll:#", "a.dll", "", true},
        {"a.dll:1:2", "a.dll", "1:2", false},
        {":5", "", "5", false},
    };
    for (const Case& c : cases) {
        char token[32];
        ASSERT_TRUE(CopyText(token, c.token));
        FileRequirement r = SplitFileRequirement(token);
        EXPECT_STREQ(c.file, r.fileName) << c.token;
        if (c.version == nullptr) {
            EXPECT_EQ(nullptr, r.version) << c.token;
        } else {
            ASSERT_NE(nullptr, r.version) << c.token;
            EXPECT_STREQ(c.version, r.version) << c.token;
        }
        EXPECT_EQ(c.fileVersion, r.useFileVersion) << c.token;
    }
}

TEST(ComponentRules, SizeCell) {
    struct Case {
        uint32_t sizeKB;
        size_t size;
        const char* expected;
    };
    const Case cases[] = {
        {6348, 32, "6348KB"},      {0, 32, ""},   {928, 32, "928KB"},
        {0xFFFFFFFFu, 32, "-1KB"}, {6348, 4, ""},  // a cut number would show a wrong size: nothing is shown
        {6348, 7, "6348KB"},       {6348, 6, ""},
    };
    for (const Case& c : cases) {
        char out[32];
        memset(out, 'x', sizeof out);
        FormatSizeCell(c.sizeKB, out, c.size);
        EXPECT_STREQ(c.expected, out) << c.sizeKB;
    }
    char untouched = 'x';
    FormatSizeCell(6348, &untouched, 0);
    EXPECT_EQ('x', untouched);
}

TEST(ComponentRules, CdromSourceDirectory) {
    struct Case {
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"D:\\setup.exe", "D:\\"},
        {"D:\\inst\\setup.exe", "D:\\inst"},
        {"D:\\a\\b\\setup.exe", "D:\\a\\b"},
        {"setup.exe", "setup.exe"},
        {"D:setup.exe", "D:setup.exe"},
        {"\\\\server\\share\\setup.exe", "\\\\server\\share"},
        {"\\setup.exe", "\\"},
        {"", ""},
    };
    for (const Case& c : cases) {
        char path[64];
        ASSERT_TRUE(CopyText(path, c.path));
        CutToSourceDirectory(path);
        EXPECT_STREQ(c.expected, path) << c.path;
    }
}

TEST(ComponentRules, OnlyExactFalseDisallowsIntervention) {
    struct Case {
        const char* value;
        bool disallows;
    };
    const Case cases[] = {
        {"FALSE", true}, {"false", false},  {"False", false}, {"TRUE", false},
        {"", false},     {"FALSE ", false}, {"0", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.disallows, DisallowsIntervention(c.value)) << c.value;
}

// Under a key, what comes over the network unsigned and unpinned is refused unless the
// component's section allows it; local sources and runs without a key are never refused.
TEST(ComponentRules, UnverifiedNetworkSourcesAreRefusedUnderAKey) {
    using V = SourceVerdict;
    struct Case {
        ProtocolKind protocol;
        bool key, signedPackage, pinned, allow;
        SourceVerdict verdict;
    };
    const Case cases[] = {
        {ProtocolFtp, true, false, false, false, V::Refused},
        {ProtocolFtp, true, false, true, false, V::Checked},
        {ProtocolFtp, true, false, false, true, V::Unverified},
        {ProtocolFtp, false, false, false, false, V::Checked},
        // An ftp component is never signed, whatever key text it carries.
        {ProtocolFtp, true, true, false, false, V::Refused},
        {ProtocolHttp, true, true, false, false, V::Checked},
        // Its own empty publisherKey under the key of [defs]: unsigned.
        {ProtocolHttp, true, false, false, false, V::Refused},
        {ProtocolHttp, true, false, true, false, V::Refused},
        {ProtocolHttp, true, false, false, true, V::Unverified},
        {ProtocolHttp, false, false, false, false, V::Checked},
        {ProtocolCopy, true, false, false, false, V::Checked},
        {ProtocolCdrom, true, false, false, false, V::Checked},
        {ProtocolSelfExtract, true, false, false, false, V::Checked},
    };
    for (const Case& c : cases) {
        SourceTrust trust = {c.protocol, c.key, c.signedPackage, c.pinned, c.allow};
        EXPECT_EQ(c.verdict, JudgeSource(trust))
            << c.protocol << c.key << c.signedPackage << c.pinned << c.allow;
    }
    EXPECT_TRUE(AllowsUnverified("TRUE"));
    EXPECT_TRUE(AllowsUnverified("true"));
    EXPECT_FALSE(AllowsUnverified("yes"));
    EXPECT_FALSE(AllowsUnverified(""));
}

}  // namespace

// A site whose port is no port is refused as an empty one is: the component is never
// connected to some other port.
TEST(ComponentRules, SiteWithABadPortCannotBeDownloaded) {
    struct Case {
        const char* site;
        bool downloadable;
    };
    const Case cases[] = {{"", false},
                          {"host", true},
                          {"host/base", true},
                          {"host:1", true},
                          {"host:65535/base", true},
                          {"http://host:8080/base", true},
                          {"https://host/base", true},
                          {"https://host:8443/base", true},
                          {"https://host:0/base", false},
                          {"host:0080", true},
                          {"host:0", false},
                          {"host:65536", false},
                          {"host:99999", false},
                          {"http://host:99999/base", false},
                          {"host:80x", false},
                          {"host:", false},
                          {"host:/base", false},
                          {"host:+80", false},
                          {"host: 80", false}};
    for (const Case& c : cases) EXPECT_EQ(c.downloadable, SiteCanBeDownloaded(c.site)) << c.site;
}
