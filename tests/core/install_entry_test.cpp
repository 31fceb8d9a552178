// Install-action entries: splitting, verbs, target flags, the command lines of started
// programs and the client-directory path rules.
#include "install/install_entry.h"

#include "common/text.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

const char* OrNull(const char* text) { return text != nullptr ? text : "<none>"; }

}  // namespace

TEST(InstallEntry, SplitsVerbFileAndTheWholeRest) {
    struct Case {
        const char* entry;
        bool complete;
        const char* verb;
        const char* file;
        const char* arguments;
    };
    const Case cases[] = {
        {"run,Corvane.exe,-run2", true, "run", "Corvane.exe", "-run2"},
        {"run,setup.exe", true, "run", "setup.exe", "<none>"},
        {"run,setup.exe,", true, "run", "setup.exe", "<none>"},
        {",,copy,,viewer.dll,16", true, "copy", "viewer.dll", "16"},
        {"open,readme.txt,a,b,,c", true, "open", "readme.txt", "a,b,,c"},
        {"run,a.exe, spaced  args ", true, "run", "a.exe", " spaced  args "},
        {"run, a b.exe,x", true, "run", " a b.exe", "x"},
        {"run", false, "run", "<none>", "<none>"},
        {"run,,,", false, "run", "<none>", "<none>"},
        {"", false, "<none>", "<none>", "<none>"},
        {",,,", false, "<none>", "<none>", "<none>"},
    };
    for (const Case& c : cases) {
        char entry[512];
        CopyText(entry, c.entry);
        InstallEntry fields;
        EXPECT_EQ(c.complete, SplitInstallEntry(entry, &fields)) << c.entry;
        EXPECT_STREQ(c.verb, OrNull(fields.verb)) << c.entry;
        EXPECT_STREQ(c.file, OrNull(fields.file)) << c.entry;
        EXPECT_STREQ(c.arguments, OrNull(fields.arguments)) << c.entry;
    }
}

TEST(InstallEntry, VerbsIgnoreCaseAndAnythingElseGoesToTheShell) {
    struct Case {
        const char* verb;
        InstallVerb kind;
    };
    const Case cases[] = {
        {"ispackage", VerbInstallerPackage},
        {"ISPackage", VerbInstallerPackage},
        {"run", VerbRun},
        {"RUN", VerbRun},
        {"package", VerbPackage},
        {"Package", VerbPackage},
        {"copy", VerbCopy},
        {"cOpY", VerbCopy},
        {"open", VerbShell},
        {"runas", VerbShell},
        {"copy ", VerbShell},
        {"ispackages", VerbShell},
    };
    for (const Case& c : cases) EXPECT_EQ(c.kind, ClassifyVerb(c.verb)) << c.verb;
}

TEST(InstallEntry, TargetFlagsReadLikeADecimalNumber) {
    struct Case {
        const char* arguments;
        int flags;
    };
    const Case cases[] = {
        {nullptr, 0},
        {"", 0},
        {"17", 17},
        {"  24", 24},
        {"\t+8", 8},
        {"-1", -1},
        {"4abc", 4},
        {"abc4", 0},
        {"0x10", 0},
        {"016", 16},
        {"- 1", 0},
        {"99999999999999999999", 2147483647},
        {"-99999999999999999999", -2147483647 - 1},
    };
    for (const Case& c : cases) EXPECT_EQ(c.flags, TargetFlags(c.arguments)) << OrNull(c.arguments);
}

TEST(InstallEntry, FirstOfWindowsSystemDataChoosesTheTarget) {
    struct Case {
        int flags;
        TargetKind target;
        bool programSuffix;
        int unpackFlag;
    };
    const Case cases[] = {
        {0, TargetClientProgram, true, 0},      {4, TargetClientProgram, false, 0},
        {16, TargetClientProgram, true, 1},     {20, TargetClientProgram, false, 1},
        {1, TargetWindowsDirectory, true, 0},   {17, TargetWindowsDirectory, true, 1},
        {3, TargetWindowsDirectory, true, 0},   {11, TargetWindowsDirectory, true, 0},
        {2, TargetSystemDirectory, true, 0},    {10, TargetSystemDirectory, true, 0},
        {8, TargetClientData, true, 0},         {24, TargetClientData, true, 1},
        {12, TargetClientData, false, 0},       {32, TargetClientProgram, true, 0},
        {-1, TargetWindowsDirectory, false, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.target, ChooseTarget(c.flags)) << c.flags;
        EXPECT_EQ(c.programSuffix, WantsProgramSuffix(c.flags)) << c.flags;
        EXPECT_EQ(c.unpackFlag, UnpackFlag(c.flags)) << c.flags;
    }
}

TEST(InstallEntry, RunCommandLineQuotesThePathAndBlanksOnlyTheTraySwitch) {
    struct Case {
        const char* path;
        const char* arguments;
        const char* own;
        const char* line;
    };
    const Case cases[] = {
        {"C:\\w\\Corvane.exe", "-run2", "", "\"C:\\w\\Corvane.exe\" -run2"},
        {"C:\\sec review\\t\\a.exe", "-x y", "", "\"C:\\sec review\\t\\a.exe\" -x y"},
        {"C:\\w\\setup.exe", nullptr, "", "\"C:\\w\\setup.exe\""},
        {"C:\\w\\setup.exe", nullptr, nullptr, "\"C:\\w\\setup.exe\""},
        {"C:\\w\\a.exe", nullptr, "/is", "\"C:\\w\\a.exe\" /is"},
        {"C:\\w\\a.exe", "-run2", " /tray /AskForRestart /SaveProxySettings",
         "\"C:\\w\\a.exe\" -run2  "
         "     "
         " /AskForRestart /SaveProxySettings"},
        {"C:\\w\\a.exe", nullptr, "/tray", "\"C:\\w\\a.exe\"      "},
        // Only the first switch is blanked, and only when the own line was appended.
        {"C:\\w\\a.exe", nullptr, "/tray /tray", "\"C:\\w\\a.exe\"       /tray"},
        {"C:\\w\\a.exe", "/tray", "", "\"C:\\w\\a.exe\" /tray"},
        {"C:\\w\\a.exe", "/tray", "-x", "\"C:\\w\\a.exe\"       -x"},
        {"C:\\w\\a.exe", nullptr, "-tray", "\"C:\\w\\a.exe\" -tray"},
    };
    for (const Case& c : cases) {
        char line[260];
        EXPECT_TRUE(BuildRunCommandLine(c.path, c.arguments, c.own, line, sizeof(line))) << c.line;
        EXPECT_STREQ(c.line, line);
    }
}

TEST(InstallEntry, SetupCommandLineQuotesTheProgramAndKeepsTheOwnLine) {
    char program[260];
    ASSERT_TRUE(BuildSetupProgramPath("C:\\T\\INS 1.tmp", program, sizeof(program)));
    EXPECT_STREQ("C:\\T\\INS 1.tmp\\setup.exe", program);
    struct Case {
        const char* arguments;
        const char* own;
        const char* line;
    };
    const Case cases[] = {
        {nullptr, "", "\"C:\\T\\INS 1.tmp\\setup.exe\""},
        {"-s", "", "\"C:\\T\\INS 1.tmp\\setup.exe\" -s"},
        {nullptr, "/tray /is", "\"C:\\T\\INS 1.tmp\\setup.exe\" /tray /is"},
        {"-s", "/tray", "\"C:\\T\\INS 1.tmp\\setup.exe\" -s /tray"},
    };
    for (const Case& c : cases) {
        char line[260];
        EXPECT_TRUE(BuildSetupCommandLine(program, c.arguments, c.own, line, sizeof(line)));
        EXPECT_STREQ(c.line, line);
    }
}

TEST(InstallEntry, APathWithAQuoteIsRefused) {
    // Quoting could not keep such a path whole: "C:\a" b.exe" would start C:\a.
    char line[260];
    memset(line, 'z', sizeof(line));
    EXPECT_FALSE(BuildRunCommandLine("C:\\a\" b.exe", nullptr, "", line, sizeof(line)));
    EXPECT_STREQ("", line);
    memset(line, 'z', sizeof(line));
    EXPECT_FALSE(BuildSetupCommandLine("C:\\a\"\\setup.exe", "-s", "", line, sizeof(line)));
    EXPECT_STREQ("", line);
}

TEST(InstallEntry, CommandLinesThatDoNotFitAreRefusedWhole) {
    // 245 characters, 247 with its quotes
    const std::string path = "C:\\" + std::string(238, 'p') + ".exe";
    struct Case {
        const char* arguments;
        const char* own;
        bool fits;
    };
    const Case cases[] = {
        {nullptr, "", true},
        {"12345678901", "", true},          // 259 characters
        {"123456789012", "", false},        // 260
        {"12345", "12345", true},           // 259
        {"12345", "123456", false},         // 260
        {nullptr, "1234567890123", false},  // 261
    };
    for (const Case& c : cases) {
        char line[260];
        memset(line, 'z', sizeof(line));
        bool built = BuildRunCommandLine(path.c_str(), c.arguments, c.own, line, sizeof(line));
        EXPECT_EQ(c.fits, built) << OrNull(c.arguments) << " / " << c.own;
        if (!built) {
            EXPECT_STREQ("", line);
        }
        char program[260];
        // + "\setup.exe" = 257 characters, 259 with its quotes
        ASSERT_TRUE(BuildSetupProgramPath(std::string(247, 'd').c_str(), program, sizeof(program)));
        built = BuildSetupCommandLine(program, c.arguments, c.own, line, sizeof(line));
        EXPECT_EQ(c.arguments == nullptr && c.own[0] == '\0', built) << OrNull(c.arguments);
        if (!built) {
            EXPECT_STREQ("", line);
        }
    }
    char line[260];
    const std::string tooLong(260, 'p');
    EXPECT_FALSE(BuildRunCommandLine(tooLong.c_str(), nullptr, "", line, sizeof(line)));
    char program[260];
    EXPECT_FALSE(BuildSetupProgramPath(std::string(250, 'd').c_str(), program, sizeof(program)));
    EXPECT_STREQ("", program);
    // Small buffers: the truncation paths with every size up to the whole line.
    for (size_t size = 0; size <= 17; ++size) {
        char small[17];
        bool built = BuildRunCommandLine("a.exe", "-b", "/tray", small, size);
        EXPECT_EQ(size == 17, built) << size;
        if (built) {
            EXPECT_STREQ("\"a.exe\" -b      ", small);
        } else if (size > 0) {
            EXPECT_STREQ("", small) << size;
        }
    }
}

TEST(InstallEntry, ComRegistrationTypeAndKeyName) {
    struct Case {
        const char* path;
        const char* type;
        const char* name;
    };
    const Case cases[] = {
        {"C:\\Corvane\\data\\viewer.exe", "ComEXE", "\\viewer.exe"},
        {"C:\\Corvane\\data\\VIEWER.EXE", "ComEXE", "\\VIEWER.EXE"},
        {"C:\\Corvane\\viewer.dll", "ComDLL", "\\viewer.dll"},
        {"C:\\Corvane\\viewer.exe.bak", "ComDLL", "\\viewer.exe.bak"},
        {"C:\\Corvane\\viewer.exe2", "ComDLL", "\\viewer.exe2"},
        {"C:\\Corvane\\viewer", "ComDLL", "\\viewer"},
        {"C:\\dir.exe\\viewer", "ComDLL", "\\viewer"},  // the dot belongs to a directory
        {"viewer.exe", "ComEXE", "viewer.exe"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.type, ComRegistrationType(c.path)) << c.path;
        EXPECT_STREQ(c.name, FileNameWithBackslash(c.path)) << c.path;
    }
}

TEST(InstallEntry, ClientDirectoryPathRules) {
    struct Case {
        const char* found;
        const char* trimmed;
    };
    const Case cases[] = {
        {"C:\\Corvane\\Program", "C:\\Corvane"},
        {"C:\\Corvane\\PROGRAM", "C:\\Corvane"},
        {"C:\\Corvane", "C:\\Corvane"},
        {"C:\\Corvane\\Programs", "C:\\Corvane\\Programs"},
        {"C:\\Program\\bin", "C:\\Program\\bin"},
        {"Program", "Program"},
        {"C:\\Corvane\\Program\\", "C:\\Corvane\\Program\\"},
        {"\\program", ""},
    };
    for (const Case& c : cases) {
        char path[260];
        CopyText(path, c.found);
        TrimProgramSuffix(path);
        EXPECT_STREQ(c.trimmed, path) << c.found;
    }

    char path[260] = "D:\\Data";
    EXPECT_TRUE(EnsureTrailingBackslash(path, sizeof(path)));
    EXPECT_STREQ("D:\\Data\\", path);
    EXPECT_TRUE(EnsureTrailingBackslash(path, sizeof(path)));
    EXPECT_STREQ("D:\\Data\\", path);

    CopyText(path, "C:\\Corvane");
    EXPECT_TRUE(AppendDataDirectory(path, sizeof(path)));
    EXPECT_STREQ("C:\\Corvane\\data", path);
    CopyText(path, "C:\\Corvane");
    EXPECT_TRUE(AppendProgramDirectory(path, sizeof(path)));
    EXPECT_STREQ("C:\\Corvane\\Program", path);

    // What does not fit leaves the path as it was, for the caller to refuse.
    char small[12] = "C:\\Corvane";  // 10 characters: the backslash just fits
    EXPECT_TRUE(EnsureTrailingBackslash(small, sizeof(small)));
    EXPECT_STREQ("C:\\Corvane\\", small);
    CopyText(small, "C:\\Corvan\\x");  // 11 characters, full
    EXPECT_FALSE(EnsureTrailingBackslash(small, sizeof(small)));
    EXPECT_STREQ("C:\\Corvan\\x", small);
    CopyText(small, "C:\\Corvane");
    EXPECT_FALSE(AppendDataDirectory(small, sizeof(small)));
    EXPECT_STREQ("C:\\Corvane", small);
    EXPECT_FALSE(AppendProgramDirectory(small, sizeof(small)));
    EXPECT_STREQ("C:\\Corvane", small);
}
