// One download run: WinSock, the work directory, the download dialog, and what the
// dialog's end code means for the files and the restart shortcut.
#include "common/run_log_win.h"
#include "config/installer_run_outcome.h"
#include "config/work_directory_win.h"
#include "shell/app_win.h"
#include "shell/process_state_win.h"
#include "shell/resource_ids.h"
#include "startup/restart_arguments.h"
#include "startup/run_modes_win.h"
#include "startup/startup_shortcut_win.h"
#include "ui/download_dialog_win.h"

namespace {

// The dialog of the run in progress, for a Quit chosen from the tray meanwhile.
DownloadDialog* g_openDialog = nullptr;
int g_processExitCode = 0;

// The folder of a description file named on the command line; double-byte
// characters are stepped over whole. A path without separator gives an empty folder.
void DirectoryOfDescription(const char* infPath, char (&out)[260]) {
    CopyText(out, infPath);
    char* end = out + BoundedLength(out, countof(out));
    for (char* p = end; p > out;) {
        p = CharPrevA(out, p);
        if (*p == '\\' || *p == ':') {
            *p = '\0';
            return;
        }
    }
    out[0] = '\0';
}

void WriteRestartShortcut(bool allowIntervention, const char* workDirectory,
                          bool saveProxySettings) {
    char executable[260], target[260];
    if (!ExecutableCopyPath(workDirectory, target, executable)) return;
    char arguments[80];
    BuildRestartArguments(allowIntervention, g_shuttingDown, saveProxySettings, arguments,
                          countof(arguments));
    SetStartupShortcut(true, target, arguments);
}

}  // namespace

int RunDownload(bool showWelcome, bool resuming, const char* infPath, bool saveProxySettings,
                ConnectionSettings& carried) {
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(1, 1), &winsock) != 0) {
        ShowAppMessage(IDS_WINSOCK_ERROR, MB_ICONERROR);
        g_processExitCode = kExitDownloadFailed;
        return 0;
    }
    WorkDirectoryRecord record = {};
    record.instance = g_instance;
    if (infPath != nullptr) {
        DirectoryOfDescription(infPath, record.path);
    } else if (!GetWorkDirectory(record)) {
        ShowAppMessage(IDS_TEMP_DIR_ERROR, MB_ICONERROR);
        g_processExitCode = kExitDownloadFailed;
        WSACleanup();
        return 0;
    }

    RunEnd end;
    bool allowIntervention;
    {
        // The dialog and its workers end here, their threads and files closed, before
        // the outcome touches the work directory.
        DownloadDialog dialog(record.path, showWelcome, resuming, infPath, saveProxySettings);
        dialog.run.connection = carried;
        g_openDialog = &dialog;
        end = RunEndFromDialogCode(dialog.DoModal(nullptr));
        g_openDialog = nullptr;
        carried = dialog.run.connection;
        allowIntervention = dialog.run.allowIntervention;
        RunExitFacts facts = {end, dialog.holdsNoDescription, dialog.run.installFailed,
                              dialog.run.downloadFailed, dialog.run.cancelledByUser};
        g_processExitCode = RunExitCode(facts);
        LogEvent("the download run ends: %s", ExitCodeMeaning(g_processExitCode));
    }
    RunAftermath aftermath = DecideAftermath(end, infPath != nullptr, g_shuttingDown);
    if (aftermath.deleteWorkDirectory) DeleteWorkDirectory(record);
    if (aftermath.removeShortcut) SetStartupShortcut(false, nullptr, nullptr);
    // The restart arguments still see whether the session is ending.
    if (aftermath.writeRestartShortcut)
        WriteRestartShortcut(allowIntervention, record.path, saveProxySettings);
    if (aftermath.endsShutdown) g_shuttingDown = false;
    if (aftermath.announceSuspended) ShowAppMessage(IDS_SUSPENDED, MB_OK);
    // Every start of WinSock is matched, also after a suspended run: the next run
    // starts it again.
    WSACleanup();
    return aftermath.suspended ? 1 : 0;
}

int ProcessExitCode() { return g_processExitCode; }

void SetProcessExitCode(int code) { g_processExitCode = code; }

bool QuitOpenDownloadRun() {
    if (g_openDialog == nullptr || g_openDialog->windowHandle == nullptr) return false;
    g_openDialog->QuitFromTray();
    return true;
}
