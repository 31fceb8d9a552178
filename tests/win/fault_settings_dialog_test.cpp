// The real installer ending a run while the "HTTP Settings" dialog is open (every rung of
// the connection ladder failed): Suspend, a confirmed Quit, Quit from the tray and the end
// of the Windows session each close that dialog and end the run within a second, as they
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
// Each way out is timed from the user's last act to the moment the run is over: the process
// gone, or the window that follows the run's end (the notice of a suspended download, the
// tray). That moment comes after the worker has waited for its fetch thread, which is given
// up on (and ended by force) only after 5 s: an end within a second is one where the
// thread returned by itself.
TEST_F(FaultSettingsDialog, EveryWayOutEndsTheRunWithinASecond) {
    enum Ending { Suspend, ConfirmedQuit, TrayQuit, SessionEnd };
    struct Case {
        const char* what;
        Ending ending;
    } cases[] = {
        {"Suspend", Suspend},
        {"a confirmed Quit", ConfirmedQuit},
        {"Quit from the tray", TrayQuit},
        {"the end of the session", SessionEnd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.ending == TrayQuit) SetRecordedWorkDirectory(work);
        InstallerProcess run(Installer(), c.ending == TrayQuit ? "-tray" : "");
        ASSERT_TRUE(run.Started());
        Person user(run.Id());
        HWND tray = nullptr;
        HWND dialog = nullptr;
        if (c.ending == TrayQuit) {
            tray = run.FindWindowOf(trayClassName, trayClassName, patience);
            ASSERT_NE(nullptr, tray) << user.DescribeWindows();
            ASSERT_TRUE(Person::PostCommand(tray, IDM_TRAY_OPEN));
        } else {
            HWND welcome = user.WaitForDialog(appTitle, patience);
            ASSERT_NE(nullptr, welcome) << user.DescribeWindows();
            ASSERT_TRUE(Person::Press(welcome, 1));
            dialog = user.WaitForDialog("Downloading Software...", patience);
            ASSERT_NE(nullptr, dialog) << user.DescribeWindows();
        }
        HWND settings = user.WaitForDialog("HTTP Settings", patience);
        ASSERT_NE(nullptr, settings) << user.DescribeWindows();
        if (dialog != nullptr) {
            // Asked for by the fetch thread, shown by the interface thread.
            EXPECT_EQ(GetWindowThreadProcessId(dialog, nullptr),
                      GetWindowThreadProcessId(settings, nullptr));
        }

        DWORD start = GetTickCount();
        DWORD elapsed = 0;
        if (c.ending == Suspend) {
            ASSERT_TRUE(Person::Press(dialog, IDC_SUSPEND));
            HWND box = user.WaitForMessageBox(appTitle, "suspended", patience);
            elapsed = GetTickCount() - start;
            ASSERT_NE(nullptr, box) << user.DescribeWindows();
            EXPECT_FALSE(IsWindow(settings));
            ASSERT_TRUE(Person::Answer(box, IDOK));
        } else if (c.ending == ConfirmedQuit || c.ending == TrayQuit) {
            if (c.ending == TrayQuit) {
                ASSERT_TRUE(Person::PostCommand(tray, IDM_TRAY_QUIT));
            } else {
                ASSERT_TRUE(Person::Press(dialog, IDC_QUIT));
                HWND box = user.WaitForMessageBox(appTitle, "Are you sure", patience);
                ASSERT_NE(nullptr, box) << user.DescribeWindows();
                start = GetTickCount();
                ASSERT_TRUE(Person::Answer(box, IDYES));
            }
            EXPECT_EQ(6, run.WaitForExit(patience));  // cancelled by the user
            elapsed = GetTickCount() - start;
            EXPECT_LE(elapsed, promptly);
            EXPECT_FALSE(FileExists(work));
            EXPECT_FALSE(FileExists(shortcut));
            continue;
        } else {
            LRESULT allowed = 0;
            ASSERT_TRUE(Person::Send(dialog, WM_QUERYENDSESSION, 0, 0, &allowed, patience));
            EXPECT_EQ(TRUE, allowed);
            tray = user.WaitForWindow(TrayQuery(), patience);
            elapsed = GetTickCount() - start;
        }
        EXPECT_LE(elapsed, promptly);
        // Suspended: tray mode, the restart shortcut in place; Quit there ends it.
        if (tray == nullptr) tray = user.WaitForWindow(TrayQuery(), patience);
        ASSERT_NE(nullptr, tray) << user.DescribeWindows();
        EXPECT_EQ(c.ending == SessionEnd ? " /tray /AskForRestart" : " /tray",
                  Shortcut().arguments);
        ASSERT_TRUE(Person::Post(tray, WM_CLOSE, 0, 0));
        EXPECT_EQ(6, run.WaitForExit(patience));  // ended from the tray: cancelled
        EXPECT_FALSE(FileExists(work));
    }
}
