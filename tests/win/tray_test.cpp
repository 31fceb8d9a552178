// Tray mode: the hidden tray window, the notification icon and its menu. The menu as
// loaded in this process; then the real installer met through Wine's notification area:
// the tip, clicks on the icon, the right button's menu, and a tray window of another
// process.
#include "driver/person.h"
#include "installer_fixture.h"
#include "package_support.h"
#include "process_support.h"
#include "shell/process_state_win.h"
#include "startup/run_modes_win.h"
#include "startup/tray_win.h"
#include "tray_support.h"
#include "shell/resource_ids.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const DWORD patience = 30000;
const char appTitle[] = "Corvane Lite Installer";

// Tray mode run in this process; the window class, the icon and the menu go with the test.
class TrayMode : public ::testing::Test {
protected:
    void SetUp() override {
        g_instance = GetModuleHandleA(nullptr);
        g_downloadRunActive = false;
    }
    void TearDown() override {
        g_downloadRunActive = false;
        HWND window = FindOwnTrayWindow();
        if (window != nullptr) {
            SendMessageA(window, WM_CLOSE, 0, 0);
            MSG quit;
            PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        }
        CleanUpTrayAtExit();
        UnregisterClassA(trayClassName, g_instance);
    }
};

// Keeps the prefix's record, state profile and Startup shortcut out of the other tests' way.
class TrayInstaller : public InstallerFixture {
protected:
    void SetUp() override {
        InstallerFixture::SetUp();
        CreateDirectoryA(work.c_str(), nullptr);
        WriteWholeFile(work + "\\part.bin", "kept for now");
        // Any file stands for the shortcut that a suspended run leaves.
        WriteWholeFile(shortcut, "link");
        before = NotificationIcons();
    }
    // The one icon the installer added, after it has been added.
    NotificationIcon TheIcon() {
        std::vector<NotificationIcon> added = WaitForAddedIcons(before, 1, patience);
        return added.size() == 1 ? added[0] : NotificationIcon();
    }
    std::vector<NotificationIcon> before;
};

// A component that waits on a silent server: the download dialog stays open.
std::string WaitingDescription() {
    return "[defs]\r\ncomponents=client\r\n[client]\r\nname=Corvane Halverd Client\r\n"
           "size=6348\r\nsite=127.0.0.1:" +
           std::to_string(TestServerPort("scripted")) +
           "\r\nsourceDir=silence/tray\r\nfiles=Corvane.exe\r\nProtocol=http\r\n";
}

// Plays the part of a first instance whose tray window this test records.
WPARAM recordedCommand = 0;
LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) recordedCommand = wParam;
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

// ctest-labels TrayMode: servers
TEST_F(TrayMode, TheMenuIsOpenInBoldASeparatorAndQuit) {
    EXPECT_EQ(nullptr, GetTrayMenu());  // nothing loaded before the first tray mode
    PostQuitMessage(1);
    ASSERT_EQ(1, RunTray());
    HMENU menu = GetTrayMenu();
    ASSERT_NE(nullptr, menu);
    ASSERT_EQ(3, GetMenuItemCount(menu));
    char text[40];
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("&Open", text);
    EXPECT_EQ(static_cast<UINT>(IDM_TRAY_OPEN), GetMenuItemID(menu, 0));
    EXPECT_NE(0u, GetMenuState(menu, 1, MF_BYPOSITION) & MF_SEPARATOR);
    GetMenuStringA(menu, 2, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("&Quit", text);
    EXPECT_EQ(static_cast<UINT>(IDM_TRAY_QUIT), GetMenuItemID(menu, 2));
    EXPECT_EQ(static_cast<UINT>(IDM_TRAY_OPEN), GetMenuDefaultItem(menu, FALSE, 0));
    EXPECT_NE(0u, GetMenuState(menu, IDM_TRAY_OPEN, MF_BYCOMMAND) & MFS_DEFAULT);
}

// ctest-labels TrayInstaller: servers
TEST_F(TrayInstaller, TheIconShowsTheTipAndADoubleClickOpens) {
    std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", WaitingDescription()}});
    InstallerProcess run(setup, "-tray");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    NotificationIcon icon = TheIcon();
    ASSERT_NE(nullptr, icon.window);
    EXPECT_EQ(appTitle, icon.tip);
    // A single click does nothing.
    ASSERT_TRUE(ClickIcon(icon.window));
    WindowQuery dialog;
    dialog.className = Person::dialogClass;
    EXPECT_EQ(nullptr, user.WaitForWindow(dialog, 1000));
    // A double-click opens: the download run resumes without the welcome prompt.
    ASSERT_TRUE(DoubleClickIcon(icon.window));
    HWND resumed = user.WaitForDialog("Resuming Download of Software...", patience);
    ASSERT_NE(nullptr, resumed) << user.DescribeWindows();
    WindowQuery welcome;
    welcome.caption = appTitle;
    welcome.controlId = Person::messageTextId;
    welcome.controlText = "will download";
    EXPECT_EQ(nullptr, user.FindTopWindow(welcome));
    // The icon stays while the run is open.
    EXPECT_EQ(1u, IconsAddedSince(before).size());
    ASSERT_TRUE(Person::Press(resumed, IDC_QUIT));
    HWND box = user.WaitForMessageBox(appTitle, "Are you sure", patience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    ASSERT_TRUE(Person::Answer(box, IDYES));
    EXPECT_EQ(6, run.WaitForExit(patience));  // cancelled by the user
    EXPECT_FALSE(FileExists(work));
    EXPECT_FALSE(FileExists(shortcut));
    // Removed at exit.
    EXPECT_TRUE(WaitUntil([&] { return IconsAddedSince(before).empty(); }, patience));
}

TEST_F(TrayInstaller, TheRightButtonOpensTheMenuAtTheCursor) {
    struct Case {
        const char* name;
        char key;            // the item's mnemonic, typed while the menu is open
        bool downloadOpens;  // Open, else Quit
    } cases[] = {{"Open", 'o', true}, {"Quit", 'q', false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CreateDirectoryA(work.c_str(), nullptr);
        WriteWholeFile(shortcut, "link");
        std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", WaitingDescription()}});
        InstallerProcess run(setup, "-tray");
        ASSERT_TRUE(run.Started());
        Person user(run.Id());
        HWND tray = run.FindWindowOf(trayClassName, trayClassName, patience);
        ASSERT_NE(nullptr, tray);
        NotificationIcon icon = TheIcon();
        ASSERT_NE(nullptr, icon.window);

        // The menu opens on the press of the right button, its right edge at the cursor;
        // Escape closes it and tray mode goes on.
        ASSERT_TRUE(SetCursorPos(600, 300));
        ASSERT_TRUE(RightPressIcon(icon.window));
        WindowQuery popup;
        popup.className = "#32768";
        HWND menu = user.WaitForWindow(popup, patience);
        ASSERT_NE(nullptr, menu) << user.DescribeWindows();
        RECT frame = Person::Rectangle(menu);
        EXPECT_EQ(600, frame.right);
        EXPECT_EQ(300, frame.top);
        EXPECT_GT(frame.right - frame.left, 20);
        ASSERT_TRUE(user.PressKey(tray, VK_ESCAPE));
        EXPECT_TRUE(user.WaitUntilGone(menu, patience));
        EXPECT_NE(nullptr, run.FindWindowOf(trayClassName, trayClassName, 0));

        ASSERT_TRUE(RightPressIcon(icon.window));
        menu = user.WaitForWindow(popup, patience);
        ASSERT_NE(nullptr, menu) << user.DescribeWindows();
        ASSERT_TRUE(Person::Post(tray, WM_CHAR, c.key, 1));
        if (c.downloadOpens) {
            HWND resumed = user.WaitForDialog("Resuming Download of Software...", patience);
            ASSERT_NE(nullptr, resumed) << user.DescribeWindows();
            ASSERT_TRUE(Person::Press(resumed, IDC_QUIT));
            HWND box = user.WaitForMessageBox(appTitle, "Are you sure", patience);
            ASSERT_NE(nullptr, box) << user.DescribeWindows();
            ASSERT_TRUE(Person::Answer(box, IDYES));
        }
        EXPECT_EQ(6, run.WaitForExit(patience));  // cancelled by the user
        // Quit from the tray and a quit run both delete the files and the shortcut.
        EXPECT_FALSE(FileExists(work));
        EXPECT_EQ("", ReadRecordedWorkDirectory());
        EXPECT_FALSE(FileExists(shortcut));
        EXPECT_TRUE(WaitUntil([&] { return IconsAddedSince(before).empty(); }, patience));
        SetRecordedWorkDirectory(work);
    }
}

TEST_F(TrayInstaller, ATrayWindowOfAnotherProcessIsNotUsed) {
    // This process holds the instance mutex and a tray window of the same name.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "CVGET_INSTANCE_MUTEX");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = trayClassName;
    RegisterClassA(&windowClass);
    HWND first = CreateWindowExA(0, trayClassName, trayClassName, WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, first);
    recordedCommand = 0;

    InstallerProcess nested("cvget.exe", "-run2 -tray");
    ASSERT_TRUE(nested.Started());
    HWND own = nested.FindWindowOf(trayClassName, trayClassName, patience);
    ASSERT_NE(nullptr, own);
    EXPECT_NE(first, own);
    // The nested run's icon belongs to its own window: a double-click opens it there.
    NotificationIcon icon = TheIcon();
    ASSERT_NE(nullptr, icon.window);
    ASSERT_TRUE(DoubleClickIcon(icon.window));
    // The bare image holds no description: the run is over at once (exit code 3), and a
    // nested run deletes no work directory.
    EXPECT_EQ(3, nested.WaitForExit(patience));
    EXPECT_TRUE(FileExists(work + "\\part.bin"));
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    EXPECT_EQ(0u, recordedCommand);

    DestroyWindow(first);
    UnregisterClassA(trayClassName, GetModuleHandleA(nullptr));
    CloseHandle(mutex);
}
