// The real installer ending a run while the "HTTP Settings" dialog is open (every rung of
// the connection ladder failed): Suspend, a confirmed Quit, Quit from the tray and the end
// of the Windows session each close that dialog within a second and end the run as they
// would at any other moment.
#include "driver/person.h"
#include "installer_fixture.h"
#include "package_support.h"
#include "process_support.h"
#include "startup/tray_win.h"
#include "shell/resource_ids.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const DWORD patience = 30000;
const DWORD promptly = 1000;
const char appTitle[] = "Corvane Lite Installer";

class FaultSettingsDialog : public InstallerFixture {
protected:
    void SetUp() override {
        InstallerFixture::SetUp();
        ASSERT_NE(0, TestServerPort("nginx")) << "the test servers are not running";
    }
    // nginx answers 404 on every rung: the dialog comes without waiting for the network.
    std::string Installer() {
        return MakeInstaller(
            scratch.Path(),
            {{"tarrock.inf",
              "[defs]\r\ncomponents=client\r\n[client]\r\nname=Corvane Halverd Client\r\n"
              "size=6348\r\nsite=127.0.0.1:" +
                  std::to_string(TestServerPort("nginx")) +
                  "\r\nsourceDir=pkg/no-such-package\r\nfiles=Corvane.exe\r\nProtocol=http\r\n"}});
    }
    static WindowQuery TrayQuery() {
        WindowQuery query;
        query.className = trayClassName;
        query.mustBeShown = false;
        return query;
    }
};

}  // namespace

// ctest-labels FaultSettingsDialog: servers
TEST_F(FaultSettingsDialog, SuspendQuitAndTheSessionsEndCloseItWithinASecond) {
    enum Ending { Suspend, ConfirmedQuit, SessionEnd };
    struct Case {
        const char* what;
        Ending ending;
    } cases[] = {
        {"Suspend", Suspend},
        {"a confirmed Quit", ConfirmedQuit},
        {"the end of the session", SessionEnd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstallerProcess run(Installer(), "");
        ASSERT_TRUE(run.Started());
        Person user(run.Id());
        HWND welcome = user.WaitForDialog(appTitle, patience);
        ASSERT_NE(nullptr, welcome) << user.DescribeWindows();
        ASSERT_TRUE(Person::Press(welcome, 1));
        HWND dialog = user.WaitForDialog("Downloading Software...", patience);
        ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
        HWND settings = user.WaitForDialog("HTTP Settings", patience);
        ASSERT_NE(nullptr, settings) << user.DescribeWindows();
        // Asked for by the fetch thread, shown by the interface thread.
        EXPECT_EQ(GetWindowThreadProcessId(dialog, nullptr),
                  GetWindowThreadProcessId(settings, nullptr));

        if (c.ending == Suspend) {
            ASSERT_TRUE(Person::Press(dialog, IDC_SUSPEND));
            EXPECT_TRUE(user.WaitUntilGone(settings, promptly));
            HWND box = user.WaitForMessageBox(appTitle, "suspended", patience);
            ASSERT_NE(nullptr, box) << user.DescribeWindows();
            ASSERT_TRUE(Person::Answer(box, IDOK));
        } else if (c.ending == ConfirmedQuit) {
            ASSERT_TRUE(Person::Press(dialog, IDC_QUIT));
            HWND box = user.WaitForMessageBox(appTitle, "Are you sure", patience);
            ASSERT_NE(nullptr, box) << user.DescribeWindows();
            ASSERT_TRUE(Person::Answer(box, IDYES));
            EXPECT_TRUE(user.WaitUntilGone(settings, promptly));
            EXPECT_EQ(0, run.WaitForExit(patience));
            EXPECT_FALSE(FileExists(work));
            EXPECT_FALSE(FileExists(shortcut));
            continue;
        } else {
            LRESULT allowed = 0;
            ASSERT_TRUE(Person::Send(dialog, WM_QUERYENDSESSION, 0, 0, &allowed, patience));
            EXPECT_EQ(TRUE, allowed);
            EXPECT_TRUE(user.WaitUntilGone(settings, promptly));
        }
        // Suspended: tray mode, the restart shortcut in place; Quit there ends it.
        HWND tray = user.WaitForWindow(TrayQuery(), patience);
        ASSERT_NE(nullptr, tray) << user.DescribeWindows();
        EXPECT_EQ(c.ending == SessionEnd ? " /tray /AskForRestart" : " /tray",
                  Shortcut().arguments);
        ASSERT_TRUE(Person::Post(tray, WM_CLOSE, 0, 0));
        EXPECT_EQ(0, run.WaitForExit(patience));
        EXPECT_FALSE(FileExists(work));
    }
}

TEST_F(FaultSettingsDialog, QuitFromTheTrayClosesItWithinASecond) {
    CreateDirectoryA(work.c_str(), nullptr);
    InstallerProcess run(Installer(), "-tray");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND tray = run.FindWindowOf(trayClassName, trayClassName, patience);
    ASSERT_NE(nullptr, tray) << user.DescribeWindows();
    ASSERT_TRUE(Person::PostCommand(tray, IDM_TRAY_OPEN));
    HWND settings = user.WaitForDialog("HTTP Settings", patience);
    ASSERT_NE(nullptr, settings) << user.DescribeWindows();
    ASSERT_TRUE(Person::PostCommand(tray, IDM_TRAY_QUIT));
    EXPECT_TRUE(user.WaitUntilGone(settings, promptly));
    EXPECT_EQ(0, run.WaitForExit(patience));
    EXPECT_FALSE(FileExists(work));
    EXPECT_FALSE(FileExists(shortcut));
}
