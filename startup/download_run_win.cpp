// One download run: WinSock, the work directory, the descriptions read before the
// download dialog opens, and what the dialog's end code means for the files and the
// restart shortcut.
#include "startup/download_run_win.h"

#include "common/run_log_win.h"
#include "common/resource_string_win.h"
#include "config/component_table_win.h"
#include "config/installer_run_outcome.h"
#include "install/state_profile_win.h"
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

// A network run leaves a copy of the executable in the work directory and a Startup
// shortcut to it, so that a computer restarted during the download resumes it.
void PrepareNetworkRun(InstallerRun& run) {
    for (int index = 0; index < run.ComponentCount(); ++index) {
        if (!IsNetworkProtocol(GetProtocol(*run.ComponentAt(index)))) continue;
        run.networkRun = true;
        char executable[260], copy[260];
        if (!ExecutableCopyPath(run.workDirectory, copy, executable)) return;
        // A run started from the copy cannot copy over itself; the copy is there.
        (void)CopyFileA(executable, copy, FALSE);
        SetStartupShortcut(
            true, copy,
            run.saveProxySettings ? " /NoIntervention /SaveProxySettings" : " /NoIntervention");
        return;
    }
}

void ShowLoadFailure(UINT textId) {
    char caption[100], text[512];
    HINSTANCE instance = GetFrameworkInstance();
    LoadResourceString(instance, IDS_EXTRACT_TITLE, caption);
    LoadResourceString(instance, textId, text);
    MessageBoxA(nullptr, text, caption, MB_ICONERROR | MB_SETFOREGROUND);
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

DescriptionLoad PrepareDownloadRun(DownloadDialog& dialog) {
    InstallerRun& run = dialog.run;
    DescriptionLoad loaded = LoadDescriptions(run);
    if (loaded != DescriptionsRead) {
        // With no description there is nothing to download or install; the files are
        // kept, as they are when the payload is damaged, and the process ends with its
        // own code. A resumed run (the Startup shortcut's /NoIntervention) has nobody to
        // read a message.
        bool noDescription = loaded == NoDescription;
        if (!noDescription || !run.resuming)
            ShowLoadFailure(noDescription ? IDS_NO_DESCRIPTION : IDS_EXTRACT_ERROR);
        return loaded;
    }
    PrepareNetworkRun(run);
    dialog.downloadComplete = ConsumeCompletedDownload();
    return loaded;
}

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
        DescriptionLoad loaded = PrepareDownloadRun(dialog);
        end = RunEnd::FilesKept;
        if (loaded == DescriptionsRead) {
            g_openDialog = &dialog;
            end = RunEndFromDialogCode(dialog.DoModal(nullptr));
            g_openDialog = nullptr;
        }
        carried = dialog.run.connection;
        allowIntervention = dialog.run.allowIntervention;
        RunExitFacts facts = {end, loaded == NoDescription, dialog.run.installFailed,
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
