// The real installer holding a component's checked files until its actions are over:
// a pinned file of a copy component is checked and used as a copy of the installer's
// own, which nobody can change or delete while the component's program runs, and a
// source changed after the check is not what gets installed.
#include "driver/person.h"
#include "installer_fixture.h"
#include "package_support.h"
#include "process_support.h"
#include "signing_support.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <string>

namespace {

const DWORD patience = 30000;

bool ProcessRuns(const char* exeName) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry))
        found = lstrcmpiA(entry.szExeFile, exeName) == 0;
    CloseHandle(snapshot);
    return found;
}

// The one file named name in a directory "SRC*" of work, or empty.
std::string CheckedCopy(const std::string& work, const char* name) {
    for (const std::string& directory : DirectoryEntries(work, "SRC*")) {
        std::string path = work + "\\" + directory + "\\" + name;
        if (FileExists(path)) return path;
    }
    return "";
}

class CheckedFilesRun : public InstallerFixture {};

}  // namespace

TEST_F(CheckedFilesRun, ACheckedFileCannotBeChangedUntilTheComponentIsInstalled) {
    const std::string waiter = ReadWholeFile(ModuleDirectory() + "\\sleep_app.exe");
    ASSERT_NE("<missing>", waiter);
    const std::string source = scratch.Path() + "\\share";
    ASSERT_TRUE(CreateDirectoryA(source.c_str(), nullptr));
    WriteWholeFile(source + "\\cvwaiter.exe", waiter);
    WriteWholeFile(source + "\\cvtest_held.txt", "genuine");
    char windows[MAX_PATH];
    ASSERT_NE(0u, GetWindowsDirectoryA(windows, MAX_PATH));
    const std::string target = std::string(windows) + "\\cvtest_held.txt";
    DeleteFileA(target.c_str());
    // The program waits while the test plays the other user; then the data is copied.
    std::string description =
        "[defs]\r\ncomponents=c\r\n[c]\r\nname=Held\r\nProtocol=copy\r\nSourceDir=" + source +
        "\r\nfiles=cvwaiter.exe,cvtest_held.txt\r\nsha256=" + Sha256Hex(waiter) + "," +
        Sha256Hex("genuine") +
        "\r\ncount=2\r\ninstall1=run,cvwaiter.exe,6000\r\ninstall2=copy,cvtest_held.txt,1\r\n";
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", description}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(WaitUntil([] { return ProcessRuns("cvwaiter.exe"); }, patience));

    // The source stays the publisher's to change; what was checked does not.
    WriteWholeFile(source + "\\cvtest_held.txt", "forged");
    const std::string copy = CheckedCopy(work, "cvtest_held.txt");
    ASSERT_NE("", copy) << ::testing::PrintToString(DirectoryEntries(work));
    EXPECT_FALSE(DeleteFileA(copy.c_str()));
    EXPECT_FALSE(MoveFileA(copy.c_str(), (copy + ".old").c_str()));
    HANDLE writer = CreateFileA(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);

    EXPECT_EQ(0, run.WaitForExit(patience));
    EXPECT_EQ("genuine", ReadWholeFile(target));
    DeleteFileA(target.c_str());
}
