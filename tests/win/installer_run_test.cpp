// The real installer, started with a payload of the test's own, used as a person
// uses it: the welcome prompt, the download dialog, the messages, and what stays on
// disk, in the registry and in the Startup folder afterwards.
#include "config/payload_format.h"
#include "transfer/md5.h"
#include "driver/person.h"
#include "driver/shell_link.h"
#include "package_support.h"
#include "installer_fixture.h"
#include "process_support.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <utility>
#include <vector>

namespace {

const DWORD patience = 30000;

// A component fetched from the test nginx (or the scripted server) at sourceDir.
std::string NetworkDescription(const std::string& sourceDir, const char* defs = "",
                               const char* server = "nginx") {
    return std::string("[defs]\r\ncomponents=client\r\nstrings=S\r\n") + defs +
           "[S]\r\nName=Corvane Halverd Client\r\n"
           "[client]\r\nname=%Name%\r\nsize=6348\r\nsite=127.0.0.1:" +
           std::to_string(TestServerPort(server)) + "\r\nsourceDir=" + sourceDir +
           "\r\nfiles=Corvane.exe\r\nProtocol=http\r\n";
}

class InstallerRun : public InstallerFixture {};

}  // namespace

// Watches the process's windows until it ends; true when one matching query was
// ever shown meanwhile.
bool EverShownUntilExit(const Person& user, DWORD processId, const WindowQuery& query) {
    bool shown = false;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    WaitUntil(
        [&] {
            if (user.FindTopWindow(query) != nullptr) shown = true;
            return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        },
        patience);
    CloseHandle(process);
    return shown;
}

// Presses Cancel in the "HTTP Settings" dialog that the last rung of the ladder shows.
bool CancelSettingsDialog(Person& user) {
    HWND settings = user.WaitForDialog("HTTP Settings", 30000);
    return settings != nullptr && Person::Press(settings, 1009);
}

// ctest-labels InstallerRun: servers
TEST_F(InstallerRun, WelcomeExitDeletesTheWorkDirectoryItsRecordAndTheShortcut) {
    std::string setup =
        MakeInstaller(scratch.Path(), {{"tarrock.inf", NetworkDescription("pkg/none")}});
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

TEST_F(InstallerRun, TheFirstShortcutCarriesSaveProxySettingsWhenAsked) {
    std::string setup =
        MakeInstaller(scratch.Path(), {{"tarrock.inf", NetworkDescription("pkg/none")}});
    InstallerProcess run(setup, "-SaveProxySettings");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND welcome = user.WaitForDialog("Corvane Lite Installer", patience);
    ASSERT_NE(nullptr, welcome) << user.DescribeWindows();
    EXPECT_EQ(work + "\\setup.exe", Shortcut().target);
    EXPECT_EQ(" /NoIntervention /SaveProxySettings", Shortcut().arguments);
    ASSERT_TRUE(Person::Press(welcome, 1009));  // &Exit
    EXPECT_EQ(0, run.WaitForExit(patience));
    EXPECT_FALSE(FileExists(shortcut));
}

TEST_F(InstallerRun, ContinueDownloadsThePackageThroughTheDialog) {
    std::string client = "client program bytes " + std::string(10000, 'c') + "end";
    PublishPackage(TestServersDirectory() + "\\www\\pkg\\e2e-client", client, 4096);
    std::string setup =
        MakeInstaller(scratch.Path(), {{"tarrock.inf", NetworkDescription("pkg/e2e-client")}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND welcome = user.WaitForDialog("Corvane Lite Installer", patience);
    ASSERT_NE(nullptr, welcome) << user.DescribeWindows();
    ASSERT_TRUE(user.PressEnter(welcome));  // &Continue is the default button
    HWND ready = user.WaitForDialog("Ready to Install", patience);
    ASSERT_NE(nullptr, ready) << user.DescribeWindows();
    ASSERT_TRUE(Person::Press(ready, 1));  // nothing to run, no success: the files stay
    EXPECT_EQ(0, run.WaitForExit(patience));
    EXPECT_EQ(client, ReadWholeFile(work + "\\Corvane.exe"));
    EXPECT_FALSE(FileExists(work + "\\tmp.tmp"));
    EXPECT_TRUE(FileExists(work + "\\file002.bin"));  // the parts stay for a later run
}

TEST_F(InstallerRun, AFailedDownloadShowsTheRowsAndMessage585AndKeepsEverything) {
    std::string setup =
        MakeInstaller(scratch.Path(), {{"tarrock.inf", NetworkDescription("pkg/missing")}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND welcome = user.WaitForDialog("Corvane Lite Installer", patience);
    ASSERT_NE(nullptr, welcome) << user.DescribeWindows();
    ASSERT_TRUE(Person::Press(welcome, 1));
    HWND dialog = user.WaitForDialog("Downloading Software...", patience);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    HWND list = GetDlgItem(dialog, 1000);
    EXPECT_EQ("Component", Person::ColumnTitle(list, 0));
    EXPECT_EQ("Size", Person::ColumnTitle(list, 1));
    EXPECT_EQ("Status", Person::ColumnTitle(list, 2));
    ASSERT_EQ(1, Person::RowCount(list));
    EXPECT_EQ("Corvane Halverd Client", Person::CellText(list, 0, 0));
    EXPECT_EQ("6348KB", Person::CellText(list, 0, 1));
    ASSERT_TRUE(CancelSettingsDialog(user)) << user.DescribeWindows();
    HWND box = user.WaitForMessageBox("Corvane Lite Installer", "unable to download", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    EXPECT_EQ(
        "Corvane Lite Installer was unable to download all the needed software, possibly "
        "due to a communication error. Installation cannot start. Try running the Corvane "
        "Lite Installer again later.",
        Person::MessageText(box));
    EXPECT_EQ("Download error", Person::CellText(list, 0, 2));
    EXPECT_EQ("Error in receiving file 'Corvane.exe' from '127.0.0.1:" +
                  std::to_string(TestServerPort("nginx")) + "'.",
              Person::ControlText(dialog, 1002));
    ASSERT_TRUE(Person::Answer(box, IDOK));
    EXPECT_EQ(5, run.WaitForExit(patience));  // the download failed
    // Ended keeping the files: the work directory, its record and the shortcut stay.
    EXPECT_TRUE(FileExists(work + "\\setup.exe"));
    EXPECT_TRUE(FileExists(work + "\\tarrock.inf"));
    EXPECT_EQ(work, ReadRecordedWorkDirectory());
    EXPECT_EQ(work + "\\setup.exe", Shortcut().target);
    EXPECT_EQ(" /NoIntervention", Shortcut().arguments);
}

TEST_F(InstallerRun, QuitAndEscapeAskFirstAndYesDeletesEverything) {
    std::string setup = MakeInstaller(
        scratch.Path(), {{"tarrock.inf", NetworkDescription("silence/quit", "", "scripted")}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND welcome = user.WaitForDialog("Corvane Lite Installer", patience);
    ASSERT_NE(nullptr, welcome) << user.DescribeWindows();
    ASSERT_TRUE(Person::Press(welcome, 1));
    HWND dialog = user.WaitForDialog("Downloading Software...", patience);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    EXPECT_TRUE(
        user.WaitForText(GetDlgItem(dialog, 1002), "Downloading file 'Corvane.exe'...", patience));
    ASSERT_TRUE(Person::Press(dialog, 1003));
    HWND box = user.WaitForMessageBox("Corvane Lite Installer", "Are you sure", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    EXPECT_EQ(
        "Are you sure you would like to quit downloading? All downloaded files will be "
        "deleted.",
        Person::MessageText(box));
    ASSERT_TRUE(Person::Answer(box, IDNO));
    ASSERT_TRUE(user.WaitUntilGone(box, patience));
    EXPECT_TRUE(Person::IsShown(dialog));
    ASSERT_TRUE(user.PressEscape(dialog));
    box = user.WaitForMessageBox("Corvane Lite Installer", "Are you sure", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    ASSERT_TRUE(Person::Answer(box, IDYES));
    EXPECT_EQ(6, run.WaitForExit(patience));  // cancelled by the user
    EXPECT_FALSE(FileExists(work));
    EXPECT_EQ("", ReadRecordedWorkDirectory());
    EXPECT_FALSE(FileExists(shortcut));
}

// Suspends a run that waits on a silent server, answers what comes, and returns the
// shortcut that the run left, read while the installer waits in tray mode.
class SuspendedRun : public InstallerRun {
protected:
    ShellLinkContents SuspendAndReadShortcut(const char* defs, const char* arguments,
                                             bool windowsEnding) {
        std::string setup = MakeInstaller(
            scratch.Path(),
            {{"tarrock.inf", NetworkDescription("silence/suspend", defs, "scripted")}});
        InstallerProcess run(setup, arguments);
        EXPECT_TRUE(run.Started());
        Person user(run.Id());
        HWND dialog = nullptr;
        if (std::string(arguments).find("NoIntervention") == std::string::npos) {
            HWND welcome = user.WaitForDialog("Corvane Lite Installer", patience);
            EXPECT_NE(nullptr, welcome) << user.DescribeWindows();
            Person::Press(welcome, 1);
            dialog = user.WaitForDialog("Downloading Software...", patience);
        } else {
            dialog = user.WaitForDialog("Resuming Download of Software...", patience);
        }
        EXPECT_NE(nullptr, dialog) << user.DescribeWindows();
        user.WaitForText(GetDlgItem(dialog, 1002), "Downloading file 'Corvane.exe'...", patience);
        if (windowsEnding) {
            LRESULT allowed = 0;
            Person::Send(dialog, WM_QUERYENDSESSION, 0, 0, &allowed, patience);
            EXPECT_EQ(TRUE, allowed);
        } else {
            EXPECT_TRUE(Person::Press(dialog, 1004));
            HWND box = user.WaitForMessageBox("Corvane Lite Installer", "suspended", patience);
            EXPECT_NE(nullptr, box) << user.DescribeWindows();
            EXPECT_EQ(
                "Downloading has been suspended.\nYou can resume downloading at any time, "
                "from where you left off, by double-clicking the Corvane Lite Installer "
                "icon in your Windows taskbar.",
                Person::MessageText(box));
            Person::Answer(box, IDOK);
        }
        // Tray mode: the process waits with its tray window; the shortcut is in place.
        HWND tray = user.WaitForWindow(TrayQuery(), patience);
        EXPECT_NE(nullptr, tray) << user.DescribeWindows();
        WindowQuery message;
        message.className = "#32770";
        message.controlId = 0xFFFF;
        message.controlText = "suspended";
        if (windowsEnding) {
            EXPECT_EQ(nullptr, user.FindTopWindow(message));
        }
        ShellLinkContents link = Shortcut();
        EXPECT_TRUE(FileExists(work + "\\setup.exe"));
        Person::Post(tray, WM_CLOSE, 0, 0);       // Quit from the tray
        EXPECT_EQ(6, run.WaitForExit(patience));  // cancelled by the user
        EXPECT_FALSE(FileExists(work));
        return link;
    }
    static WindowQuery TrayQuery() {
        WindowQuery query;
        query.className = "CV_TARROCK_TRAY_CLASS";
        query.mustBeShown = false;
        return query;
    }
};

// ctest-labels SuspendedRun: servers
TEST_F(SuspendedRun, SuspendWritesTrayArgumentsAndShowsMessage592) {
    ShellLinkContents link = SuspendAndReadShortcut("", "", false);
    EXPECT_EQ(work + "\\setup.exe", link.target);
    EXPECT_EQ(" /tray", link.arguments);
}

TEST_F(SuspendedRun, SuspendKeepsSaveProxySettings) {
    EXPECT_EQ(" /tray /SaveProxySettings",
              SuspendAndReadShortcut("", "-SaveProxySettings", false).arguments);
}

TEST_F(SuspendedRun, WindowsEndingAsksForRestartAndShowsNothing) {
    EXPECT_EQ(" /tray /AskForRestart", SuspendAndReadShortcut("", "", true).arguments);
}

TEST_F(SuspendedRun, WithoutInterventionTheRestartResumesAtOnce) {
    EXPECT_EQ(
        " /NoIntervention",
        SuspendAndReadShortcut("allowintervention=FALSE\r\n", "/NoIntervention", true).arguments);
}

TEST_F(InstallerRun, LocalComponentsNeverShowTheDialogNorWriteAShortcut) {
    std::string setup = MakeInstaller(
        scratch.Path(), {{"tarrock.inf",
                          "[defs]\r\ncomponents=bundled\r\n[bundled]\r\nname=Bundled\r\n"
                          "files=data.bin\r\n"},
                         {"data.bin", "payload bytes"}});
    InstallerProcess run(setup, "");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    WindowQuery shownDialog;
    shownDialog.caption = "Downloading Software...";
    EXPECT_FALSE(EverShownUntilExit(user, run.Id(), shownDialog));
    EXPECT_EQ(0, run.WaitForExit(patience));
    EXPECT_FALSE(FileExists(shortcut));
    // Present and local, it counts as installed: the work directory goes with the run.
    EXPECT_FALSE(FileExists(work));
}

// allowintervention=FALSE: nobody is there to ask for settings or to read a message. A
// download that fails on every road ends the run with its own exit code, the files
// kept for the next start, and the log says why; a log that cannot be written stops
// nothing.
TEST_F(InstallerRun, WithoutInterventionAFailedDownloadAsksNothingAndEndsWithItsCode) {
    std::string setup = MakeInstaller(
        scratch.Path(),
        {{"tarrock.inf", NetworkDescription("pkg/missing", "allowintervention=FALSE\r\n")}});
    const std::string logs[] = {scratch.Path() + "\\run.log",
                                scratch.Path() + "\\no such folder\\run.log"};
    for (const std::string& log : logs) {
        SCOPED_TRACE(log);
        InstallerProcess run(setup, "/NoIntervention \"/Log=" + log + "\"");
        ASSERT_TRUE(run.Started());
        Person user(run.Id());
        WindowQuery settings;
        settings.caption = "HTTP Settings";
        EXPECT_FALSE(EverShownUntilExit(user, run.Id(), settings)) << user.DescribeWindows();
        EXPECT_EQ(5, run.WaitForExit(patience)) << user.DescribeWindows();
        EXPECT_TRUE(FileExists(work + "\\tarrock.inf"));
    }
    std::string text = ReadWholeFile(logs[0]);
    const std::string expected[] = {
        "Corvane Lite Installer 1.0.0 starts",
        "component 'Corvane Halverd Client': to download",
        "manifest, rung 'as described': host 127.0.0.1 port " +
            std::to_string(TestServerPort("nginx")) + ", proxy none: answered without",
        "http: ReceiveFile: Got HTTP code 404",
        "no road brought the file, and the description allows no questions",
        "Corvane.exe: failed (transfer result 4)",
        "the process ends with exit code 5: download failed",
    };
    for (const std::string& line : expected)
        EXPECT_NE(std::string::npos, text.find(line)) << line << "\n" << text;
    EXPECT_FALSE(FileExists(logs[1]));
}

TEST_F(InstallerRun, WithoutInterventionThereIsNoWelcomeAndNoButtons) {
    std::string setup = MakeInstaller(
        scratch.Path(),
        {{"tarrock.inf",
          NetworkDescription("silence/nobuttons", "allowintervention=FALSE\r\n", "scripted")}});
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
    // Escape still asks.
    ASSERT_TRUE(user.PressEscape(dialog));
    HWND box = user.WaitForMessageBox("Corvane Lite Installer", "Are you sure", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    ASSERT_TRUE(Person::Answer(box, IDYES));
    EXPECT_EQ(6, run.WaitForExit(patience));  // cancelled by the user
}
