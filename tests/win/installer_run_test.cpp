// The real installer, started with a payload of the test's own, used as a person
// uses it: the welcome prompt, the download dialog, the messages, and what stays on
// disk, in the registry and in the Startup folder afterwards.
#include "config/payload_format.h"
#include "driver/person.h"
#include "driver/shell_link.h"
#include "process_support.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <utility>
#include <vector>

namespace {

const DWORD patience = 30000;
const char shortcutName[] = "\\Corvane Lite Installer.lnk";

typedef std::vector<std::pair<std::string, std::string>> Files;

// Copies the bare image and appends the files as payload records and the trailer.
std::string MakeInstaller(const std::string& directory, const Files& files) {
    std::string image = ModuleDirectory() + "\\cvget.exe";
    std::string installer = directory + "\\setup.exe";
    CopyFileA(image.c_str(), installer.c_str(), FALSE);
    FILE* f = fopen(installer.c_str(), "ab");
    if (f == nullptr) return "";
    fseek(f, 0, SEEK_END);
    uint32_t payloadStart = static_cast<uint32_t>(ftell(f));
    for (const auto& file : files) {
        RecordHeader header = {static_cast<uint32_t>(file.second.size()),
                               static_cast<uint16_t>(file.first.size() + 1), 0xFFFF};
        unsigned char bytes[8];
        EncodeRecordHeader(header, bytes);
        fwrite(bytes, 1, sizeof bytes, f);
        fwrite(file.first.c_str(), 1, file.first.size() + 1, f);
        fwrite(file.second.data(), 1, file.second.size(), f);
    }
    unsigned char trailer[16];
    EncodeTrailer(payloadStart, trailer);
    fwrite(trailer, 1, sizeof trailer, f);
    fclose(f);
    return installer;
}

std::string NetworkDescription(const char* defs = "") {
    return std::string("[defs]\r\ncomponents=client\r\nstrings=S\r\n") + defs +
           "[S]\r\nName=Corvane Halverd Client\r\n"
           "[client]\r\nname=%Name%\r\nsize=6348\r\nsite=127.0.0.1\r\nsourceDir=pub\r\n"
           "files=Corvane.exe\r\nProtocol=http\r\n";
}

std::string StateProfile() {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\tarrock.ini";
}

// Keeps the prefix's record, state profile and shortcut out of the other tests' way.
class InstallerRun : public ::testing::Test {
protected:
    void SetUp() override {
        savedRecord = ReadRecordedWorkDirectory();
        work = scratch.Path() + "\\work";
        SetRecordedWorkDirectory(work);
        shortcut = CommonStartupFolder() + shortcutName;
        DeleteFileA(shortcut.c_str());
        DeleteFileA(StateProfile().c_str());
    }
    void TearDown() override {
        SetRecordedWorkDirectory(savedRecord);
        DeleteFileA(shortcut.c_str());
        DeleteFileA(StateProfile().c_str());
    }
    ShellLinkContents Shortcut() {
        ShellLinkContents link;
        if (!ReadShellLink(shortcut, &link)) link.target = "<none>";
        return link;
    }

    ScratchDirectory scratch;
    std::string work;
    std::string shortcut;
    std::string savedRecord;
};

}  // namespace

TEST_F(InstallerRun, WelcomeExitDeletesTheWorkDirectoryItsRecordAndTheShortcut) {
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", NetworkDescription()}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND welcome = user.WaitForDialog("Corvane Lite Installer", patience);
    ASSERT_NE(nullptr, welcome) << user.DescribeWindows();
    EXPECT_EQ(0u, Person::MessageText(welcome).find("The Corvane Lite Installer will download"));
    // While the prompt waits, the network run has already left its shortcut behind.
    EXPECT_EQ(work + "\\setup.exe", Shortcut().target);
    EXPECT_EQ(" /NoIntervention", Shortcut().arguments);
    ASSERT_TRUE(Person::Press(welcome, 1009));  // &Exit
    EXPECT_EQ(0, run.WaitForExit(patience));
    EXPECT_FALSE(FileExists(work));
    EXPECT_EQ("", ReadRecordedWorkDirectory());
    EXPECT_FALSE(FileExists(shortcut));
}

TEST_F(InstallerRun, ContinueShowsTheListAndAFailedDownloadKeepsEverything) {
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", NetworkDescription()}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND welcome = user.WaitForDialog("Corvane Lite Installer", patience);
    ASSERT_NE(nullptr, welcome) << user.DescribeWindows();
    ASSERT_TRUE(user.PressEnter(welcome));  // &Continue is the default button
    HWND dialog = user.WaitForDialog("Downloading Software...", patience);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    HWND list = GetDlgItem(dialog, 1000);
    EXPECT_EQ("Component", Person::ColumnTitle(list, 0));
    EXPECT_EQ("Size", Person::ColumnTitle(list, 1));
    EXPECT_EQ("Status", Person::ColumnTitle(list, 2));
    ASSERT_EQ(1, Person::RowCount(list));
    EXPECT_EQ("Corvane Halverd Client", Person::CellText(list, 0, 0));
    EXPECT_EQ("6348KB", Person::CellText(list, 0, 1));
    // The HTTP worker cannot fetch yet: the run ends with the network message.
    HWND box = user.WaitForMessageBox("Corvane Lite Installer", "unable to download", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    EXPECT_EQ("Corvane Lite Installer was unable to download all the needed software, possibly "
              "due to a communication error. Installation cannot start. Try running the Corvane "
              "Lite Installer again later.",
              Person::MessageText(box));
    // The worker refused the request: the row keeps its status.
    EXPECT_EQ("Downloading...", Person::CellText(list, 0, 2));
    ASSERT_TRUE(Person::Answer(box, IDOK));
    EXPECT_EQ(0, run.WaitForExit(patience));
    // Ended keeping the files: the work directory, its record and the shortcut stay.
    EXPECT_TRUE(FileExists(work + "\\setup.exe"));
    EXPECT_TRUE(FileExists(work + "\\tarrock.inf"));
    EXPECT_EQ(work, ReadRecordedWorkDirectory());
    EXPECT_EQ(work + "\\setup.exe", Shortcut().target);
    EXPECT_EQ(" /NoIntervention", Shortcut().arguments);
}

TEST_F(InstallerRun, LocalComponentsNeverShowTheDialogNorWriteAShortcut) {
    std::string setup = MakeInstaller(
        scratch.Path(),
        {{"tarrock.inf", "[defs]\r\ncomponents=bundled\r\n[bundled]\r\nname=Bundled\r\n"
                         "files=data.bin\r\n"},
         {"data.bin", "payload bytes"}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    WindowQuery shownDialog;
    shownDialog.caption = "Downloading Software...";
    bool everShown = false;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, run.Id());
    WaitUntil(
        [&] {
            if (user.FindTopWindow(shownDialog) != nullptr) everShown = true;
            return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        },
        patience);
    CloseHandle(process);
    EXPECT_EQ(0, run.WaitForExit(patience));
    EXPECT_FALSE(everShown);
    EXPECT_FALSE(FileExists(shortcut));
    EXPECT_TRUE(FileExists(work + "\\data.bin"));
}

TEST_F(InstallerRun, ACompletedDownloadSkipsTheDialogAndIsConsumed) {
    WritePrivateProfileStringA("download", "complete", "1", StateProfile().c_str());
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", NetworkDescription()}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND box = user.WaitForMessageBox("Corvane Lite Installer", "unable to download", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    WindowQuery shownDialog;
    shownDialog.caption = "Downloading Software...";
    EXPECT_EQ(nullptr, user.FindTopWindow(shownDialog));
    EXPECT_EQ(0u, GetPrivateProfileIntA("download", "complete", 7, StateProfile().c_str()));
    ASSERT_TRUE(Person::Answer(box, IDOK));
    EXPECT_EQ(0, run.WaitForExit(patience));
}

TEST_F(InstallerRun, WithoutInterventionThereIsNoWelcomeAndNoButtons) {
    std::string setup = MakeInstaller(
        scratch.Path(), {{"tarrock.inf", NetworkDescription("allowintervention=FALSE\r\n")}});
    InstallerProcess run(setup, "/NoIntervention");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND dialog = user.WaitForDialog("Resuming Download of Software...", patience);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    EXPECT_FALSE(Person::IsEnabled(GetDlgItem(dialog, 1003)));
    EXPECT_FALSE(Person::IsEnabled(GetDlgItem(dialog, 1004)));
    RECT whole = Person::Rectangle(dialog), quit = Person::Rectangle(GetDlgItem(dialog, 1003));
    EXPECT_EQ(quit.top, whole.bottom);  // cut off just above the buttons
    WindowQuery welcome;
    welcome.caption = "Corvane Lite Installer";
    welcome.controlId = 0xFFFF;
    welcome.controlText = "will download the necessary components";
    EXPECT_EQ(nullptr, user.FindTopWindow(welcome));
    HWND box = user.WaitForMessageBox("Corvane Lite Installer", "unable to download", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    ASSERT_TRUE(Person::Answer(box, IDOK));
    EXPECT_EQ(0, run.WaitForExit(patience));
}
