// The real installer and the directories it uses: a recorded folder that is not its own
// survives the run, a cancelled restart prompt of a description run creates nothing,
// a package action leaves no work directory behind, and a cvgetex.dll planted in the
// current directory is not the one that unpacks.
#include "driver/person.h"
#include "installer_fixture.h"
#include "package_support.h"
#include "process_support.h"

#include "config/work_directory_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const DWORD patience = 30000;
const char clientKey[] = "SOFTWARE\\Corvane\\Corvane";

std::string TemporaryDirectory() {
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, temp);
    std::string path(temp, n);
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

// Sets HKCU "...\Corvane\Corvane" "Data Path" for a test and puts back what was there.
class DataPathValue {
public:
    explicit DataPathValue(const std::string& path) {
        HKEY key;
        if (RegCreateKeyA(HKEY_CURRENT_USER, clientKey, &key) != ERROR_SUCCESS) return;
        DWORD size = sizeof saved - 1;
        hadValue = RegQueryValueExA(key, "Data Path", nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(saved), &size) == ERROR_SUCCESS;
        RegSetValueExA(key, "Data Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>(path.size() + 1));
        RegCloseKey(key);
    }
    ~DataPathValue() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, clientKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
            return;
        if (hadValue)
            RegSetValueExA(key, "Data Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved),
                           static_cast<DWORD>(strlen(saved) + 1));
        else
            RegDeleteValueA(key, "Data Path");
        RegCloseKey(key);
    }

private:
    char saved[MAX_PATH] = {};
    bool hadValue = false;
};

// Runs the child with another current directory, as a shortcut or a shell might.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& path) {
        GetCurrentDirectoryA(MAX_PATH, saved);
        SetCurrentDirectoryA(path.c_str());
    }
    ~CurrentDirectory() { SetCurrentDirectoryA(saved); }

private:
    char saved[MAX_PATH] = {};
};

class WorkDirectoryRun : public InstallerFixture {};

}  // namespace

TEST_F(WorkDirectoryRun, ARecordedFolderOfDocumentsSurvivesTheRunUntouched) {
    const std::string documents = scratch.Path() + "\\Documents";
    CreateDirectoryA(documents.c_str(), nullptr);
    WriteWholeFile(documents + "\\letter.txt", "dear");
    SetRecordedPathOnly(documents);
    const std::vector<std::string> before = DirectoryEntries(TemporaryDirectory(), "inst*");
    // No component: the run counts as installed and deletes its work directory.
    std::string setup =
        MakeInstaller(scratch.Path(), {{"tarrock.inf", "[defs]\r\ncomponents=\r\n"}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(0, run.WaitForExit(patience));
    EXPECT_EQ(std::vector<std::string>{"letter.txt"}, DirectoryEntries(documents));
    EXPECT_EQ("dear", ReadWholeFile(documents + "\\letter.txt"));
    EXPECT_EQ("", ReadRecordedWorkDirectory());
    // The run's own fresh directory was deleted at its end.
    EXPECT_EQ(before, DirectoryEntries(TemporaryDirectory(), "inst*"));
}

TEST_F(WorkDirectoryRun, CancellingTheRestartPromptOfADescriptionRunCreatesNothing) {
    SetRecordedWorkDirectory("");
    const std::string folder = scratch.Path() + "\\description";
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteWholeFile(folder + "\\x.inf", "[defs]\r\ncomponents=\r\n");
    const std::vector<std::string> before = DirectoryEntries(TemporaryDirectory(), "inst*");
    std::string setup = MakeInstaller(scratch.Path(), {});
    InstallerProcess run(setup, "-AskForRestart -inf " + folder + "\\x.inf");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND box = user.WaitForMessageBox("Corvane Lite Installer", "ready to resume", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    ASSERT_TRUE(Person::Answer(box, IDCANCEL));
    EXPECT_EQ(0, run.WaitForExit(patience));
    EXPECT_EQ("", ReadRecordedWorkDirectory());
    EXPECT_EQ(before, DirectoryEntries(TemporaryDirectory(), "inst*"));
    EXPECT_EQ((std::vector<std::string>{"x.inf"}), DirectoryEntries(folder));
}

TEST_F(WorkDirectoryRun, APackageActionUnpacksWithTheShippedLibraryAndLeavesNothingBehind) {
    const std::string extension = ReadWholeFile(ModuleDirectory() + "\\cvgetex.dll");
    if (extension == "<missing>") GTEST_SKIP() << "cvgetex.dll is not built beside the tests";
    const std::string package = ReadWholeFile(ModuleDirectory() + "\\packages\\data.pkg");
    ASSERT_NE("<missing>", package);
    const std::string data = scratch.Path() + "\\data";
    CreateDirectoryA(data.c_str(), nullptr);
    DataPathValue dataPath(data);
    // A library of the same name, without "UnzipPackage", where a bare-name search finds it.
    const std::string planted = scratch.Path() + "\\planted";
    CreateDirectoryA(planted.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((ModuleDirectory() + "\\version471.dll").c_str(),
                          (planted + "\\cvgetex.dll").c_str(), FALSE));
    struct Case {
        const char* name;
        bool plantedInCurrentDirectory;
        bool shipped;
        bool unpacks;
    };
    const Case cases[] = {
        {"nothing planted", false, true, true},
        {"planted in the current directory", true, true, true},
        // A working copy left in the work directory (by an unchecked download, say) is no
        // copy the payload wrote: the system folder holds none, so nothing unpacks.
        {"none shipped, one planted in the work directory", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetRecordedWorkDirectory(work);
        PayloadFiles payload = {
            {"tarrock.inf",
             "[defs]\r\ncomponents=data\r\n[data]\r\nname=Data\r\nfiles=data.pkg\r\n"
             "extract1=package,data.pkg,8\r\n"},
            {"data.pkg", package}};
        if (c.shipped)
            payload.push_back({"cvgetex.dll", extension});
        else
            WriteWholeFile(work + "\\cvgetex.dll", extension);
        std::string setup = MakeInstaller(scratch.Path(), payload);
        CurrentDirectory current(c.plantedInCurrentDirectory ? planted : scratch.Path());
        InstallerProcess run(setup, "");
        ASSERT_TRUE(run.Started());
        if (!c.unpacks) {
            Person user(run.Id());
            HWND box = user.WaitForMessageBox("Corvane Lite Installer", "extract1", patience);
            ASSERT_NE(nullptr, box) << user.DescribeWindows();
            ASSERT_TRUE(Person::Answer(box, IDOK));
        }
        EXPECT_EQ(c.unpacks ? 0 : 4, run.WaitForExit(patience));
        EXPECT_EQ(c.unpacks ? "alpha" : "<missing>", ReadWholeFile(data + "\\cvtest_pkg_a.txt"));
        EXPECT_EQ(c.unpacks ? "beta" : "<missing>", ReadWholeFile(data + "\\cvtest_pkg_b.txt"));
        if (!c.unpacks) {
            DeleteTree(work.c_str());
            continue;
        }
        // Installed: the work directory, cvgetex.dll included, is gone with its record.
        EXPECT_FALSE(FileExists(work)) << ::testing::PrintToString(DirectoryEntries(work));
        EXPECT_EQ("", ReadRecordedWorkDirectory());
        DeleteFileA((data + "\\cvtest_pkg_a.txt").c_str());
        DeleteFileA((data + "\\cvtest_pkg_b.txt").c_str());
    }
}
