// Suspend and resume with the real installer, as a person meets them: a download
// suspended in the middle of a package waits as a notification icon, a second start
// brings it back in the same work directory and it finishes and installs; "-tray" and
// the restart prompt after Windows ended; Quit from the tray while a run is open. The
// suspend and resume cycle is photographed for the README on the way
// (build/win64/screenshots/*.bmp).
#include "driver/person.h"
#include "driver/screenshot.h"
#include "driver/shell_link.h"
#include "installer_fixture.h"
#include "package_support.h"
#include "process_support.h"
#include "startup/tray_win.h"
#include "tray_support.h"
#include "shell/resource_ids.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const DWORD patience = 30000;
const DWORD slowPatience = 90000;
const char appTitle[] = "Corvane Lite Installer";
const char resumingCaption[] = "Resuming Download of Software...";

std::string ShotPath(const char* name) {
    std::string directory = ModuleDirectory() + "\\screenshots";
    CreateDirectoryA(directory.c_str(), nullptr);
    return directory + "\\" + name + ".bmp";
}

// The names in directory, for failure messages.
std::string Listing(const std::string& directory) {
    std::string names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return "<none>";
    do {
        names += std::string(entry.cFileName) + " ";
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return names;
}

// The installer's record, profile and shortcut kept out of the other tests' way; a work
// directory with a file in it and a stand-in for the shortcut of a suspended run.
class TrayRun : public InstallerFixture {
protected:
    void SetUp() override {
        InstallerFixture::SetUp();
        ASSERT_NE(0, TestServerPort("nginx")) << "the test servers are not running";
        accessLog = TestServersDirectory() + "\\logs\\access.log";
        CreateDirectoryA(work.c_str(), nullptr);
        WriteWholeFile(work + "\\part.bin", "kept for now");
        WriteWholeFile(shortcut, "link");
        before = NotificationIcons();
    }
    // A component that waits on a silent server, so that the download dialog stays open.
    std::string WaitingInstaller() {
        return MakeInstaller(
            scratch.Path(),
            {{"tarrock.inf",
              "[defs]\r\ncomponents=client\r\n[client]\r\nname=Corvane Halverd Client\r\n"
              "size=6348\r\nsite=127.0.0.1:" +
                  std::to_string(TestServerPort("scripted")) +
                  "\r\nsourceDir=silence/trayrun\r\nfiles=Corvane.exe\r\nProtocol=http\r\n"}});
    }
    // Waits for the download dialog of a resumed run and for its transfer to begin.
    HWND WaitForResumedDownload(Person& user) {
        HWND dialog = user.WaitForDialog(resumingCaption, patience);
        if (dialog == nullptr || !user.WaitForText(GetDlgItem(dialog, IDC_STATUS_TEXT),
                                                   "Downloading file 'Corvane.exe'...", patience))
            return nullptr;
        return dialog;
    }
    // Everything a quit run or a tray Quit removes is gone.
    void ExpectEverythingDeleted() {
        EXPECT_FALSE(FileExists(work)) << Listing(work);
        EXPECT_EQ("", ReadRecordedWorkDirectory());
        EXPECT_FALSE(FileExists(shortcut));
        EXPECT_TRUE(WaitUntil([&] { return IconsAddedSince(before).empty(); }, patience));
    }
    size_t LogSize() { return ReadWholeFile(accessLog).size(); }
    // Requests for fragment logged by nginx since the log offset from.
    int Requests(const std::string& fragment, size_t from) {
        std::string log = ReadWholeFile(accessLog);
        int n = 0;
        for (size_t at = log.find(fragment, from); from <= log.size() && at != std::string::npos;
             at = log.find(fragment, at + 1))
            ++n;
        return n;
    }

    std::string accessLog;
    std::vector<NotificationIcon> before;
};

// The tray window and the one icon of a process in tray mode.
struct TrayState {
    HWND window = nullptr;
    HWND icon = nullptr;
    std::string tip;
};

TrayState WaitForTray(const InstallerProcess& run, const std::vector<NotificationIcon>& before) {
    TrayState state;
    state.window = run.FindWindowOf(trayClassName, trayClassName, patience);
    std::vector<NotificationIcon> added = WaitForAddedIcons(before, 1, patience);
    if (added.size() == 1) {
        state.icon = added[0].window;
        state.tip = added[0].tip;
    }
    return state;
}

}  // namespace

// ctest-labels TrayRun: servers
TEST_F(TrayRun, SuspendedMidPackageASecondStartResumesAndInstalls) {
    const std::string package = "tray-cycle";
    std::string client = ReadWholeFile(ModuleDirectory() + "\\Corvane.exe");
    ASSERT_GT(client.size(), 3u * 4096) << "the demo client makes at least four parts";
    // Ten parts in all (bytes after an image are not loaded): parts come four at a time,
    // and the package is still under way when the first ones are in.
    client.append(10 * 4096 - client.size(), '\0');
    PublishPackage(TestServersDirectory() + "\\www\\pkg\\" + package, client, 4096);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string note = std::string(temp) + "corvane-client.txt";
    DeleteFileA(note.c_str());
    // Each part of 4 KB takes about two seconds from /slow/.
    std::string description =
        "[defs]\r\ncomponents=client\r\n[client]\r\nname=Corvane Halverd Client\r\nsize=15\r\n"
        "site=127.0.0.1:" +
        std::to_string(TestServerPort("nginx")) + "\r\nsourceDir=slow/" + package +
        "\r\nfiles=Corvane.exe\r\nProtocol=http\r\ninstall1=run,Corvane.exe,-run2\r\n";
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", description}});

    InstallerProcess first(setup, "");
    ASSERT_TRUE(first.Started());
    Person user(first.Id());
    HWND welcome = user.WaitForDialog(appTitle, patience);
    ASSERT_NE(nullptr, welcome) << user.DescribeWindows();
    ASSERT_TRUE(user.PressEnter(welcome));  // &Continue
    HWND dialog = user.WaitForDialog("Downloading Software...", patience);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    // The first parts are in, the rest on their way: suspend in the middle of the package.
    ASSERT_TRUE(WaitUntil([&] { return FileExists(work + "\\file002.bin"); }, slowPatience));
    EXPECT_TRUE(SaveScreenshot(dialog, ShotPath("tray1-downloading")));
    ASSERT_TRUE(Person::Press(dialog, IDC_SUSPEND));
    HWND box = user.WaitForMessageBox(appTitle, "suspended", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    EXPECT_EQ(
        "Downloading has been suspended.\nYou can resume downloading at any time, from "
        "where you left off, by double-clicking the Corvane Lite Installer icon in your "
        "Windows taskbar.",
        Person::MessageText(box));
    EXPECT_TRUE(SaveScreenshot(box, ShotPath("tray2-message592-suspended")));
    ASSERT_TRUE(Person::Answer(box, IDOK));

    // Tray mode: the icon is there, the shortcut starts the copy in tray mode.
    TrayState tray = WaitForTray(first, before);
    ASSERT_NE(nullptr, tray.window) << user.DescribeWindows();
    ASSERT_NE(nullptr, tray.icon);
    EXPECT_EQ(appTitle, tray.tip);
    ShellLinkContents link = Shortcut();
    EXPECT_EQ(work + "\\setup.exe", link.target);
    EXPECT_EQ(" /tray", link.arguments);
    EXPECT_TRUE(FileExists(work + "\\file000.bin"));
    EXPECT_TRUE(FileExists(work + "\\file001.bin"));
    EXPECT_FALSE(FileExists(work + "\\Corvane.exe"));
    EXPECT_TRUE(SaveScreenshot(NotificationArea(), ShotPath("tray3-icon")));
    // Its menu, photographed and closed again.
    SetCursorPos(400, 300);
    ASSERT_TRUE(RightPressIcon(tray.icon));
    WindowQuery popup;
    popup.className = "#32768";
    HWND menu = user.WaitForWindow(popup, patience);
    ASSERT_NE(nullptr, menu) << user.DescribeWindows();
    EXPECT_TRUE(SaveScreenshot(menu, ShotPath("tray4-menu")));
    ASSERT_TRUE(user.PressKey(tray.window, VK_ESCAPE));
    ASSERT_TRUE(user.WaitUntilGone(menu, patience));

    // A second start hands over and ends; the first comes back from the tray.
    size_t resumedFrom = LogSize();
    InstallerProcess second(setup, "");
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(1, second.WaitForExit(patience));
    HWND resumed = WaitForResumedDownload(user);
    ASSERT_NE(nullptr, resumed) << user.DescribeWindows();
    EXPECT_TRUE(SaveScreenshot(resumed, ShotPath("tray5-resuming")));
    HWND ready = user.WaitForDialog("Ready to Install", slowPatience);
    ASSERT_NE(nullptr, ready) << user.DescribeWindows();
    ASSERT_TRUE(Person::Press(ready, 1));  // &Install
    EXPECT_EQ(0, first.WaitForExit(patience));

    // The parts fetched before the suspend were not asked for again; the rest were.
    std::string slow = "/slow/" + package + "/";
    EXPECT_EQ(0, Requests(slow + "file000.bin ", resumedFrom));
    EXPECT_EQ(0, Requests(slow + "file001.bin ", resumedFrom));
    EXPECT_EQ(1, Requests(slow + "file009.bin ", resumedFrom));
    // Installed from the same work directory; then everything went.
    std::string shown = ReadWholeFile(note);
    EXPECT_EQ(0u, shown.find("Corvane Halverd Client installed\r\ndirectory: " + work + "\r\n"))
        << shown;
    EXPECT_NE(std::string::npos, shown.find("command line: \"" + work + "\\Corvane.exe\" -run2"))
        << shown;
    ExpectEverythingDeleted();
    EXPECT_FALSE(FileExists(StateProfilePath()));
    DeleteFileA(note.c_str());
}

TEST_F(TrayRun, TrayStartOpensWithoutWelcomeAndASecondTrayModeReusesTheIcon) {
    std::string setup = WaitingInstaller();
    InstallerProcess run(setup, "-tray");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    TrayState tray = WaitForTray(run, before);
    ASSERT_NE(nullptr, tray.window) << user.DescribeWindows();
    ASSERT_NE(nullptr, tray.icon);
    WindowQuery anyDialog;
    anyDialog.className = Person::dialogClass;
    EXPECT_EQ(nullptr, user.FindTopWindow(anyDialog));

    // Open from the menu: the download run, without the welcome prompt.
    ASSERT_TRUE(Person::PostCommand(tray.window, IDM_TRAY_OPEN));
    HWND dialog = WaitForResumedDownload(user);
    ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
    WindowQuery welcome;
    welcome.caption = appTitle;
    EXPECT_EQ(nullptr, user.FindTopWindow(welcome));

    // A second start meanwhile ends with 1 and changes nothing.
    InstallerProcess second(setup, "");
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(1, second.WaitForExit(patience));
    Sleep(500);
    EXPECT_EQ(dialog, user.FindTopWindow(anyDialog)) << user.DescribeWindows();
    EXPECT_TRUE(Person::IsShown(dialog));
    EXPECT_EQ(resumingCaption, Person::Text(dialog));

    // Suspended again, the process goes back to the same window and icon.
    ASSERT_TRUE(Person::Press(dialog, IDC_SUSPEND));
    HWND box = user.WaitForMessageBox(appTitle, "suspended", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    ASSERT_TRUE(Person::Answer(box, IDOK));
    ASSERT_TRUE(user.WaitUntilGone(dialog, patience));
    EXPECT_EQ(" /tray", Shortcut().arguments);
    Sleep(500);
    std::vector<NotificationIcon> added = IconsAddedSince(before);
    ASSERT_EQ(1u, added.size());
    EXPECT_EQ(tray.icon, added[0].window);
    EXPECT_EQ(tray.window, run.FindWindowOf(trayClassName, trayClassName, 0));

    // Quit from the menu.
    ASSERT_TRUE(Person::PostCommand(tray.window, IDM_TRAY_QUIT));
    EXPECT_EQ(6, run.WaitForExit(patience));  // cancelled by the user
    ExpectEverythingDeleted();
}

TEST_F(TrayRun, QuitFromTheTrayWhileARunIsOpenEndsItAsAConfirmedQuit) {
    enum Moment { Downloading, QuestionWaits, SuspendedMessage };
    struct Case {
        const char* name;
        Moment moment;
    } cases[] = {
        {"while the transfer runs", Downloading},
        {"while the dialog asks whether to quit", QuestionWaits},
        {"while the suspended message is shown", SuspendedMessage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CreateDirectoryA(work.c_str(), nullptr);
        SetRecordedWorkDirectory(work);
        InstallerProcess run(WaitingInstaller(), "-tray");
        ASSERT_TRUE(run.Started());
        Person user(run.Id());
        TrayState tray = WaitForTray(run, before);
        ASSERT_NE(nullptr, tray.window) << user.DescribeWindows();
        ASSERT_TRUE(Person::PostCommand(tray.window, IDM_TRAY_OPEN));
        HWND dialog = WaitForResumedDownload(user);
        ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
        HWND box = nullptr;
        if (c.moment == QuestionWaits) {
            ASSERT_TRUE(Person::Press(dialog, IDC_QUIT));
            box = user.WaitForMessageBox(appTitle, "Are you sure", patience);
        } else if (c.moment == SuspendedMessage) {
            ASSERT_TRUE(Person::Press(dialog, IDC_SUSPEND));
            box = user.WaitForMessageBox(appTitle, "suspended", patience);
        }
        if (c.moment != Downloading) {
            ASSERT_NE(nullptr, box) << user.DescribeWindows();
        }

        ASSERT_TRUE(Person::PostCommand(tray.window, IDM_TRAY_QUIT));
        ASSERT_TRUE(user.WaitUntilGone(tray.window, patience));
        if (c.moment == Downloading) {
            // Nothing is asked: the user has decided in the menu.
            EXPECT_EQ(6, run.WaitForExit(patience));  // cancelled by the user
        } else {
            // The box that waited is answered as it comes; the answer no longer matters.
            ASSERT_TRUE(Person::IsShown(box));
            ASSERT_TRUE(Person::Answer(box, c.moment == QuestionWaits ? IDNO : IDOK));
            EXPECT_EQ(6, run.WaitForExit(patience));  // cancelled by the user
        }
        ExpectEverythingDeleted();
        // No tray mode came back after the run.
        EXPECT_EQ(nullptr, run.FindWindowOf(trayClassName, trayClassName, 0));
        WriteWholeFile(shortcut, "link");
    }
}

TEST_F(TrayRun, TheRestartPromptAfterWindowsEndedComesFirst) {
    enum Next { Download, Tray, End };
    struct Case {
        const char* name;
        int answer;
        Next next;
        int exitCode;  // a Quit is cancelled by the user (6); the prompt's Cancel ends with 0
    } cases[] = {{"Yes", IDYES, Download, 6}, {"No", IDNO, Tray, 6}, {"Cancel", IDCANCEL, End, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CreateDirectoryA(work.c_str(), nullptr);
        WriteWholeFile(work + "\\part.bin", "kept for now");
        SetRecordedWorkDirectory(work);
        WriteWholeFile(shortcut, "link");
        // The arguments as the shortcut written when Windows ended has them.
        InstallerProcess run(WaitingInstaller(), " /tray /AskForRestart");
        ASSERT_TRUE(run.Started());
        Person user(run.Id());
        HWND prompt = user.WaitForMessageBox(appTitle, "ready to resume", patience);
        ASSERT_NE(nullptr, prompt) << user.DescribeWindows();
        EXPECT_EQ(
            "Corvane Lite Installer is now ready to resume downloading.\nClick Yes to resume "
            "downloading now, No to postpone downloading, or Cancel to terminate the "
            "downloading process.",
            Person::MessageText(prompt));
        // Nothing else is there before the answer.
        EXPECT_EQ(nullptr, run.FindWindowOf(trayClassName, trayClassName, 0));
        EXPECT_TRUE(IconsAddedSince(before).empty());
        ASSERT_TRUE(Person::Answer(prompt, c.answer));
        if (c.next == Download) {
            HWND dialog = WaitForResumedDownload(user);
            ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
            EXPECT_EQ(nullptr, run.FindWindowOf(trayClassName, trayClassName, 0));
            ASSERT_TRUE(Person::Press(dialog, IDC_QUIT));
            HWND box = user.WaitForMessageBox(appTitle, "Are you sure", patience);
            ASSERT_NE(nullptr, box) << user.DescribeWindows();
            ASSERT_TRUE(Person::Answer(box, IDYES));
        } else if (c.next == Tray) {
            TrayState tray = WaitForTray(run, before);
            ASSERT_NE(nullptr, tray.window) << user.DescribeWindows();
            EXPECT_NE(nullptr, tray.icon);
            WindowQuery anyDialog;
            anyDialog.className = Person::dialogClass;
            EXPECT_EQ(nullptr, user.FindTopWindow(anyDialog));
            EXPECT_TRUE(FileExists(work + "\\part.bin"));
            ASSERT_TRUE(Person::Post(tray.window, WM_CLOSE, 0, 0));
        }
        EXPECT_EQ(c.exitCode, run.WaitForExit(patience));
        ExpectEverythingDeleted();
    }
}
