// Process entry: the single-instance rule, the switches and the run-mode loop.
#include "common/run_log_win.h"
#include "common/version.h"
#include "shell/app_win.h"
#include "shell/process_state_win.h"
#include "startup/run_modes_win.h"
#include "startup/startup_shortcut_win.h"
#include "startup/switches.h"
#include "startup/tray_win.h"
#include "config/work_directory_win.h"
#include "shell/resource_ids.h"
#include "shell/system_libraries_win.h"
#include "shell/window_win.h"

namespace {

// Carries out the mode loop's decisions with the real run modes.
class ShellRunModeActions : public RunModeActions {
public:
    void SetDownloadRunActive(bool active) override { g_downloadRunActive = active; }
    int RunTray() override { return ::RunTray(); }
    int RunDownload(bool showWelcome, bool resuming, const char* infPath,
                    bool saveProxySettings) override {
        return ::RunDownload(showWelcome, resuming, infPath, saveProxySettings, connection);
    }
    int AskToResume() override {
        return ShowAppMessage(IDS_ASK_RESTART, MB_YESNOCANCEL | MB_ICONQUESTION);
    }
    void FindWorkDirectory() override {
        record.instance = g_instance;
        ::FindWorkDirectory(record);
    }
    void DeleteWorkDirectory() override { ::DeleteWorkDirectory(record); }
    void DeleteStartupShortcut() override { SetStartupShortcut(false, nullptr, nullptr); }
    void SetExitCode(int code) override { SetProcessExitCode(code); }

private:
    WorkDirectoryRecord record = {};
    // What worked in one download run goes on to the next one of the process.
    ConnectionSettings connection = {};
};

// Another instance holds the mutex: ask its tray window to open, and end.
int HandOverToRunningInstance() {
    HWND tray = FindWindowA(trayClassName, trayClassName);
    if (tray != nullptr)
        PostMessageA(tray, WM_COMMAND, IDM_TRAY_OPEN, 0);
    else
        ShowAppMessage(IDS_MULTIPLE_INSTANCES, MB_ICONERROR);
    return kExitHandedOver;
}

}  // namespace

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): own names for the entry
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    g_instance = instance;
    RestrictLibrarySearch();
    OpenRunLog(arguments);
    LogEvent("Corvane Lite Installer %s starts, command line: %s", kInstallerVersion, arguments);
    SetLastError(0);
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "CVGET_INSTANCE_MUTEX");
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        if (!HasNestedRunSwitch(arguments)) {
            int exitCode = HandOverToRunningInstance();
            CloseHandle(mutex);
            LogEvent("another instance runs: handed over to it (exit code %d)", exitCode);
            CloseRunLog();
            return exitCode;
        }
        g_nestedRun = true;
    }
    g_commandLine = arguments;
    InitCommonControls();

    Switches switches = ParseSwitches(arguments);
    g_deferredSetup = switches.deferredSetup;
    ShellRunModeActions actions;
    RunModeLoop(switches, actions);

    CleanUpTrayAtExit();
    if (mutex != nullptr) CloseHandle(mutex);
    const int exitCode = ProcessExitCode();
    LogEvent("the process ends with exit code %d: %s", exitCode, ExitCodeMeaning(exitCode));
    CloseRunLog();
    return exitCode;
}
