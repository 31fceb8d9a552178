// Where the installed-file test looks: a full path as written, any other name in the
// system folder; a drive's colon is not taken for the version's.
#include "config/installed_file.h"

#include <gtest/gtest.h>

#include <string>

TEST(InstalledFile, FullPathsAsWrittenOtherNamesInTheSystemFolder) {
    struct Case {
        const char* token;
        const char* system;
        size_t size;
        const char* path;  // "" when refused
        const char* version;
        bool fileVersion;
    };
    const Case cases[] = {
        {"a.dll", "C:\\WINDOWS\\SYSTEM", 260, "C:\\WINDOWS\\SYSTEM\\a.dll", nullptr, false},
        {"a.dll:#4.71", "C:\\WINDOWS\\SYSTEM", 260, "C:\\WINDOWS\\SYSTEM\\a.dll", "4.71", true},
        {"sub\\a.dll:5", "C:\\SYS", 260, "C:\\SYS\\sub\\a.dll", "5", false},
        {"D:\\app\\a.dll", "C:\\SYS", 260, "D:\\app\\a.dll", nullptr, false},
        {"d:\\app\\a.dll:#4.71", "C:\\SYS", 260, "d:\\app\\a.dll", "4.71", true},
        {"\\\\server\\share\\a.dll:2", "C:\\SYS", 260, "\\\\server\\share\\a.dll", "2", false},
        // A drive without its backslash is relative to that drive's current folder.
        {"D:a.dll", "C:\\SYS", 260, "", nullptr, false},
        {"\\a.dll", "C:\\SYS", 260, "C:\\SYS\\\\a.dll", nullptr, false},
        {"a.dll", "", 260, "", nullptr, false},
        {"a.dll", "C:\\SYS", 13, "C:\\SYS\\a.dll", nullptr, false},
        {"a.dll", "C:\\SYS", 12, "", nullptr, false},
        {"D:\\app\\a.dll", "C:\\SYS", 12, "", nullptr, false},
    };
    for (const Case& c : cases) {
        std::string token = c.token;
        FileRequirement requirement = SplitInstalledFileToken(&token[0]);
        char out[260] = "stale";
        EXPECT_EQ(c.path[0] != '\0',
                  BuildInstalledFilePath(requirement.fileName, c.system, out, c.size))
            << c.token;
        EXPECT_STREQ(c.path, out) << c.token;
        if (c.version == nullptr) {
            EXPECT_EQ(nullptr, requirement.version) << c.token;
        } else {
            EXPECT_STREQ(c.version, requirement.version) << c.token;
            EXPECT_EQ(c.fileVersion, requirement.useFileVersion) << c.token;
        }
    }
    EXPECT_FALSE(IsFullPath(""));
    EXPECT_FALSE(IsFullPath("C:"));
}
