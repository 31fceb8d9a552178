// The download dialog: list columns, component rows, the worker reports, the walk to
// the next file, and what the installation shows and asks.
#include "ui/download_dialog_win.h"

#include "config/component_authenticity_win.h"
#include "config/component_table_win.h"
#include "shell/directories_win.h"
#include "config/string_table.h"
#include "install/install_actions_win.h"
#include "install/installation_win.h"
#include "install/state_profile_win.h"
#include "shell/process_state_win.h"
#include "config/work_directory_win.h"
#include "startup/startup_shortcut_win.h"  // an upward call, see scripts/check-layers
#include "transfer/messages_win.h"
#include "ui/prompt_dialogs_win.h"
#include "shell/resource_ids.h"
#include "common/run_log_win.h"
#include "common/limits.h"
#include "common/resource_string_win.h"
#include "common/status_line.h"

namespace {

struct ColumnSpec {
    UINT titleId;
    int format;
    int share;  // per mille of the list view's client width
};

const ColumnSpec columns[] = {
    {IDS_COLUMN_COMPONENT, LVCFMT_LEFT, 400},
    {IDS_COLUMN_SIZE, LVCFMT_RIGHT, 150},
    {IDS_COLUMN_STATUS, LVCFMT_LEFT, 450},
};

// Posted to itself after a change of scale: the columns follow the list's new width.
const UINT msgFitColumns = WM_APP + 1;

const char temporaryFileName[] = "tmp.tmp";
const char resumingCaption[] = "Resuming Download of Software...";

}  // namespace

DownloadDialog::DownloadDialog(char* workDirectory, bool showWelcome, bool resuming,
                               const char* descriptionPath, bool saveProxySettings)
    : Dialog(IDD_DOWNLOAD),
      run(workDirectory, descriptionPath, showWelcome, resuming, saveProxySettings) {
    run.SetStatusListener(this);
    httpWorker.UseConnectionSettings(&run.connection);
}

TransferWorker* DownloadDialog::SelectWorker(ProtocolKind protocol) {
    if (protocol == ProtocolFtp) return &ftpWorker;
    return &httpWorker;
}

void DownloadDialog::InsertColumns() {
    for (int i = 0; i < static_cast<int>(countof(columns)); ++i) {
        char title[80];
        LoadResourceString(GetFrameworkInstance(), columns[i].titleId, title);
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = columns[i].format;
        column.pszText = title;
        column.iSubItem = i;
        SendMessageA(listView, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    FitColumns();
}

// Each column takes its share of the list's width.
void DownloadDialog::FitColumns() {
    RECT client;
    GetClientRect(listView, &client);
    for (int i = 0; i < static_cast<int>(countof(columns)); ++i)
        SendMessageA(listView, LVM_SETCOLUMNWIDTH, i,
                     MAKELPARAM(client.right * columns[i].share / 1000, 0));
}

// A network run leaves a copy of the executable in the work directory and a Startup
// shortcut to it, so that a computer restarted during the download resumes it.
void DownloadDialog::PrepareNetworkRun() {
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

void DownloadDialog::ShowForDownload() {
    ShowWindow(windowHandle, SW_SHOW);
    if (!run.allowIntervention) {
        HWND quit = GetDlgItem(windowHandle, IDC_QUIT);
        EnableWindow(quit, FALSE);
        EnableWindow(GetDlgItem(windowHandle, IDC_SUSPEND), FALSE);
        RECT dialogRect, quitRect;
        GetWindowRect(windowHandle, &dialogRect);
        GetWindowRect(quit, &quitRect);
        MoveWindow(windowHandle, dialogRect.left, dialogRect.top,
                   dialogRect.right - dialogRect.left, quitRect.top - dialogRect.top, TRUE);
    }
    if (run.resuming) SetWindowTextA(windowHandle, resumingCaption);
}

bool DownloadDialog::LoadComponentList() {
    listView = GetDlgItem(windowHandle, IDC_COMPONENT_LIST);
    statusText = GetDlgItem(windowHandle, IDC_STATUS_TEXT);
    InsertColumns();
    DescriptionLoad loaded = LoadDescriptions(run);
    if (loaded == DescriptionsRead) {
        InsertRows();
        return true;
    }
    // With no description there is nothing to download or install; the files are kept,
    // as they are when the payload is damaged, and the process ends with its own code.
    holdsNoDescription = loaded == NoDescription;
    // A resumed run (the Startup shortcut's /NoIntervention) has nobody to read a message.
    if (!holdsNoDescription || !run.resuming)
        ShowLoadFailure(holdsNoDescription ? IDS_NO_DESCRIPTION : IDS_EXTRACT_ERROR);
    EndRun(RunEnd::FilesKept);
    return false;
}

void DownloadDialog::ShowLoadFailure(UINT textId) {
    char caption[100], text[512];
    HINSTANCE instance = GetFrameworkInstance();
    LoadResourceString(instance, IDS_EXTRACT_TITLE, caption);
    LoadResourceString(instance, textId, text);
    MessageBoxA(nullptr, text, caption, MB_ICONERROR | MB_SETFOREGROUND);
}

// One row per component, in the run's order: name, size and status.
void DownloadDialog::InsertRows() {
    for (int index = 0; index < run.ComponentCount(); ++index) {
        Component& component = *run.ComponentAt(index);
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = component.name;
        SendMessageA(listView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        char sizeText[16];
        FormatSizeCell(component.sizeKB, sizeText, countof(sizeText));
        if (sizeText[0] != '\0') SetCellText(index, 1, sizeText);
        OnComponentStatus(index);
    }
}

void DownloadDialog::SetCellText(int row, int column, const char* text) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    SendMessageA(listView, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

INT_PTR DownloadDialog::OnInitDialog() {
    ftpWorker.Create(windowHandle);
    httpWorker.Create(windowHandle);
    // After message 596 the run is over: a half-extracted payload neither asks the
    // welcome question nor starts a download for a dialog that has already ended.
    if (!LoadComponentList()) return 1;
    PrepareNetworkRun();
    bool downloadComplete = ConsumeCompletedDownload();
    bool refused = false;
    if (run.networkRun && !downloadComplete) {
        INT_PTR answer = 1;
        if (run.allowIntervention && run.showWelcome) {
            PromptDialog welcome(IDD_WELCOME);
            answer = welcome.DoModal(nullptr);
        }
        if (answer == 1)
            ShowForDownload();
        else
            refused = true;
    }
    if (refused || run.quitFromTray)
        EndRun(RunEnd::Finished);
    else
        RequestNextFile();
    return 1;
}

void DownloadDialog::OnComponentStatus(int index) {
    const Component* component = run.ComponentAt(index);
    if (component == nullptr) return;
    char text[100];
    StatusText(*component, text, countof(text));
    SetCellText(index, 2, text);
    UpdateWindow(windowHandle);
}

namespace {

// Formats a status-line text; the arguments are bounded by their buffers (at most
// 260 and 80 characters), so the 1024 characters wsprintfA may write always fit.
void FormatStatus(UINT textId, int bufferSize, const char* first, const char* second,
                  char (&line)[1024]) {
    char format[300];
    if (bufferSize > static_cast<int>(countof(format))) bufferSize = countof(format);
    LoadResourceString(GetFrameworkInstance(), textId, format, static_cast<size_t>(bufferSize));
    if (textId == IDS_DISK_FULL || textId == IDS_WRITE_DENIED ||
        textId == IDS_WAITING_FOR_NETWORK || textId == IDS_NOT_AUTHENTIC ||
        textId == IDS_KEY_INVALID || textId == IDS_CANNOT_VERIFY ||
        (textId >= IDS_PACKAGE_WRONG_NAME && textId <= IDS_PACKAGE_UNREADABLE) ||
        textId == IDS_UNVERIFIED_SOURCE)
        ReplaceEveryPercentOne(format, first, line, countof(line));
    else
        wsprintfA(line, format, first, second);
}

}  // namespace

void DownloadDialog::ShowStatus(UINT textId, int bufferSize, const char* first,
                                const char* second) {
    char line[1024];
    FormatStatus(textId, bufferSize, first, second, line);
    SetWindowTextA(statusText, line);
    // The count-down of the wait for the network is logged once, by the fetch.
    if (textId == IDS_WAITING_FOR_NETWORK) return;
    // A site may carry a user and password before its host: never into the log.
    char firstShown[260], secondShown[260];
    SiteForLog(first != nullptr ? first : "", firstShown, sizeof firstShown);
    SiteForLog(second != nullptr ? second : "", secondShown, sizeof secondShown);
    FormatStatus(textId, bufferSize, firstShown, secondShown, line);
    LogEvent("%s", line);
}

bool DownloadDialog::EndDownload(bool failed) {
    PostMessageA(windowHandle, msgRunOver, failed ? 1 : 0, 0);
    return false;
}

// The next file that is not there yet, moving on to the next component that needs a
// download when the current one's list is done; false when the download has ended.
bool DownloadDialog::FindMissingFile(char (&target)[260]) {
    for (;;) {
        if (connectPending) {
            connectPending = false;
        } else {
            NextFileResult next;
            while ((next = run.NextFile()) == NextFileResult::ListDone) {
                if (!SelectNextDownload(run)) return EndDownload(false);
            }
            // A name that does not fit would fetch another file: the run fails instead.
            if (next == NextFileResult::NameTooLong) return EndDownload(true);
        }
        const Component& component = *CurrentComponent();
        if (!GetSourcePath(component, run.currentFile, target, countof(target)))
            return EndDownload(true);
        if (!PresentFileCounts(component, static_cast<size_t>(run.fileIndex), target)) return true;
    }
}

bool DownloadDialog::RequestNextFile() {
    char target[260];
    if (!FindMissingFile(target)) return false;
    const Component& component = *CurrentComponent();
    ProtocolKind protocol = GetProtocol(component);
    if (!IsNetworkProtocol(protocol)) return EndDownload(true);
    // Nothing of a component that nothing vouches for is fetched under the key.
    if (JudgeComponentSource(component) == SourceVerdict::Refused) {
        char name[70];
        CopyText(name, component.name);  // cut, as the column shows it
        ShowStatus(IDS_UNVERIFIED_SOURCE, 300, name, nullptr);
        run.SetCurrentStatus(DownloadError);
        return EndDownload(true);
    }
    TransferWorker* worker = SelectWorker(protocol);

    if (!EqualsIgnoringCase(run.connectedSite, run.site)) {
        char user[kLoginValueSize], password[kLoginValueSize], proxyUser[kLoginValueSize],
            proxyPassword[kLoginValueSize];
        ReadComponentValue(component, "user", "", user, countof(user));
        ReadComponentValue(component, "password", "", password, countof(password));
        ReadComponentValue(component, "proxyuser", "", proxyUser, countof(proxyUser));
        ReadComponentValue(component, "proxypassword", "", proxyPassword, countof(proxyPassword));
        worker->SetLogin(user, password);
        worker->SetProxyLogin(proxyUser, proxyPassword);
        ShowStatus(IDS_CONNECTING, 300, run.site, nullptr);
        worker->Connect(run.site, run.proxy, run.port);
        connectPending = true;
        return true;
    }

    ShowStatus(IDS_DOWNLOADING_FILE, 300, run.currentFile, nullptr);
    char remote[260] = "";
    if (run.sourceDir[0] != '\0') {
        bool fits = CopyText(remote, run.sourceDir) && AppendText(remote, "/");
        if (fits && protocol == ProtocolFtp) fits = AppendText(remote, run.currentFile);
        if (!fits) return EndDownload(true);
    }
    char local[260];
    if (!GetSourcePath(component, temporaryFileName, local, countof(local)))
        return EndDownload(true);
    if (protocol == ProtocolHttp) {
        char key[kPublisherKeyTextSize], minVersion[httpFieldSize];
        ReadPublisherKey(component, key);
        ReadComponentValue(component, "minVersion", "", minVersion, countof(minVersion));
        httpWorker.SetAuthenticity(key, target, minVersion);
    } else if (!PrepareForPinnedFile(target)) {
        return EndDownload(true);
    }
    if (worker->RequestFile(remote, local)) return true;
    return EndDownload(true);
}

void DownloadDialog::OnConnected(int result) {
    if (result != 0) {
        ShowStatus(IDS_CONNECT_ERROR, 256, run.site, nullptr);
        EndDownload(true);
        return;
    }
    CopyText(run.connectedSite, run.site);
    RequestNextFile();
}

void DownloadDialog::OnFileStarted(int result, int size) {
    if (result != 0) {
        ShowStatus(IDS_RECEIVE_ERROR, 256, run.currentFile, run.site);
        EndDownload(true);
        run.SetCurrentStatus(DownloadError);
        return;
    }
    fileTotal = size;
    // The line may still say that the worker waited for the network.
    ShowStatus(IDS_DOWNLOADING_FILE, 300, run.currentFile, nullptr);
    HWND progress = GetDlgItem(windowHandle, IDC_PROGRESS);
    SendMessageA(progress, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressRange));
    SendMessageA(progress, PBM_SETPOS, 0, 0);
}

void DownloadDialog::OnWaitingForNetwork(int seconds) {
    char number[16];
    wsprintfA(number, "%d", seconds);
    ShowStatus(IDS_WAITING_FOR_NETWORK, 256, number, nullptr);
}

void DownloadDialog::OnProgress(int bytes) {
    char format[256];
    LoadResourceString(GetFrameworkInstance(), IDS_DOWNLOAD_PROGRESS, format);
    char line[1024];
    wsprintfA(line, format, run.currentFile, ShownKilobytes(bytes), ShownKilobytes(fileTotal));
    SetWindowTextA(statusText, line);
    SendMessageA(GetDlgItem(windowHandle, IDC_PROGRESS), PBM_SETPOS,
                 ProgressPosition(bytes, fileTotal), 0);
}

namespace {
UINT FileDoneText(int result) {
    switch (result) {
    case TransferWriteFailed:
        return IDS_DISK_FULL;
    case TransferWriteDenied:
        return IDS_WRITE_DENIED;
    case TransferNotAuthentic:
        return IDS_NOT_AUTHENTIC;
    case TransferKeyInvalid:
        return IDS_KEY_INVALID;
    case TransferCannotVerify:
        return IDS_CANNOT_VERIFY;
    case TransferWrongPackage:
        return IDS_PACKAGE_WRONG_NAME;
    case TransferPackageTooOld:
        return IDS_PACKAGE_TOO_OLD;
    case TransferPackageExpired:
        return IDS_PACKAGE_EXPIRED;
    case TransferPackageMalformed:
        return IDS_PACKAGE_UNREADABLE;
    case TransferTlsUnavailable:
        return IDS_TLS_UNAVAILABLE;
    case TransferTlsNoAgreement:
        return IDS_TLS_NO_AGREEMENT;
    case TransferCertificateWrongName:
        return IDS_CERTIFICATE_WRONG_NAME;
    case TransferCertificateExpired:
        return IDS_CERTIFICATE_EXPIRED;
    case TransferCertificateUntrusted:
        return IDS_CERTIFICATE_UNTRUSTED;
    case TransferCertificateRevoked:
        return IDS_CERTIFICATE_REVOKED;
    case TransferTlsDowngrade:
        return IDS_TLS_DOWNGRADE;
    default:
        return IDS_RECEIVE_ERROR;
    }
}
}  // namespace

// A pinned file already there that does not match its pin is not the publisher's: it
// makes room for the download. False when it cannot be removed.
bool DownloadDialog::PrepareForPinnedFile(const char* target) {
    if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES) return true;
    if (DeleteFileA(target)) return true;
    ShowStatus(IDS_WRITE_DENIED, 256, run.currentFile, run.site);
    run.SetCurrentStatus(DownloadError);
    return false;
}

// The received file against what the description promises: a signed package's digest
// (checked by the worker) is recorded for the check before install; an ftp file must
// match its pin. The result to report for the file.
int DownloadDialog::CheckReceivedFile(const char* temporary, const char* final) {
    Sha256Digest digest;
    const Component& component = *CurrentComponent();
    if (GetProtocol(component) == ProtocolHttp) {
        if (httpWorker.digestVerified &&
            !run.verifiedFiles.Record(final, httpWorker.verifiedDigest))
            return TransferNotAuthentic;
        return TransferOk;
    }
    if (!HasPinnedDigests(component)) return TransferOk;
    if (!ReadPinnedDigest(component, static_cast<size_t>(run.fileIndex), digest))
        return TransferNotAuthentic;
    AuthenticityResult result = FileMatchesDigest(temporary, digest);
    if (result == CannotVerify) return TransferCannotVerify;
    if (result != Authentic) return TransferNotAuthentic;
    // Recorded as a signed package's is: a pinned cvgetex.dll may then be loaded.
    (void)run.verifiedFiles.Record(final, digest);
    return TransferOk;
}

void DownloadDialog::OnFileDone(int result, LPARAM how) {
    char temporary[260], final[260];
    const Component& component = *CurrentComponent();
    bool named = GetSourcePath(component, temporaryFileName, temporary, countof(temporary)) &&
                 GetSourcePath(component, run.currentFile, final, countof(final));
    if (result == 0 && named) result = CheckReceivedFile(temporary, final);
    LogEvent("%s: %s (transfer result %d)", run.currentFile,
             result != 0 ? "failed" : how == fileKeptInPlace ? "kept in place" : "received", result);
    if (result != 0) {
        // What is not the publisher's is never kept where it could be installed from.
        if (named && result == TransferNotAuthentic) (void)DeleteFileA(temporary);
        ShowStatus(FileDoneText(result), 256, run.currentFile, run.site);
        EndDownload(true);
        run.SetCurrentStatus(DownloadError);
        return;
    }
    if (how == fileKeptInPlace) {
        (void)DeleteFileA(temporary);  // left empty by the worker; harmless if it stays
        RequestNextFile();
        return;
    }
    bool moved = named;
    if (moved) {
        CreateParentDirectories(final);
        moved = MoveFileA(temporary, final) != FALSE;
    }
    if (moved) {
        RequestNextFile();
        return;
    }
    // The file arrived but cannot be put in place (in use, or the folder refused it).
    ShowStatus(IDS_WRITE_DENIED, 256, run.currentFile, run.site);
    run.SetCurrentStatus(DownloadError);
    EndDownload(true);
}

// The session ends: the download is suspended (the fetch stops, an open "HTTP Settings"
// dialog closes) and the run ends so that the restart shortcut is written.
void DownloadDialog::EndForSession() {
    g_shuttingDown = true;
    httpWorker.Abort();
    EndRun(RunEnd::Suspended);
}

// Holds the transfer while the user decides; true when the user confirmed Quit.
bool DownloadDialog::AskToQuit() {
    httpWorker.Suspend();
    char text[512], title[50];
    HINSTANCE instance = GetFrameworkInstance();
    LoadResourceString(instance, IDS_CONFIRM_QUIT, text);
    LoadResourceString(instance, IDS_APP_TITLE, title);
    // A Quit from the tray while the question waited has decided already.
    if (MessageBoxA(windowHandle, text, title, MB_YESNO | MB_ICONWARNING) != IDYES &&
        !run.quitFromTray) {
        httpWorker.Resume();
        return false;
    }
    ftpWorker.Disconnect();
    httpWorker.Disconnect();
    return true;
}

// The user chose Quit from the tray icon's menu: nothing is asked, the transfer stops
// and the run ends as after a confirmed Quit (its files deleted). Once the download is
// over the installation has the files in use, and its own outcome ends the run.
void DownloadDialog::QuitFromTray() {
    if (run.installing) return;
    run.quitFromTray = true;
    run.cancelledByUser = true;
    LogEvent("Quit chosen from the tray");
    ftpWorker.Disconnect();
    httpWorker.Disconnect();
    EndRun(RunEnd::Finished);
}

void DownloadDialog::BringToFront() { SetForegroundWindow(windowHandle); }

void DownloadDialog::ShowStatusLine(const char* text) {
    SetWindowTextA(GetDlgItem(windowHandle, IDC_STATUS_TEXT), text);
    LogEvent("%s", text);
}

void DownloadDialog::ResetProgress() {
    SendMessageA(GetDlgItem(windowHandle, IDC_PROGRESS), PBM_SETPOS, 0, 0);
}

void DownloadDialog::HideForInstallation() { ShowWindow(windowHandle, SW_HIDE); }

bool DownloadDialog::AskReadyToInstall() {
    PromptDialog ready(IDD_READY_TO_INSTALL);
    return ready.DoModal(nullptr) == 1;
}

void DownloadDialog::LockQuit() {
    EnableWindow(GetDlgItem(windowHandle, IDC_QUIT), FALSE);
    EnableWindow(windowHandle, TRUE);
}

// Prompt 106: "Delete files" ends the run as finished; "Keep files" or Escape keeps
// them for the next start, which goes straight to installation.
bool DownloadDialog::AskDeleteFiles() {
    PromptDialog cancel(IDD_CANCEL_INSTALLATION);
    return cancel.DoModal(nullptr) == IDC_SECOND_CHOICE;
}

void DownloadDialog::ShowError(const char* text, const char* caption) {
    MessageBoxA(windowHandle, text, caption, MB_ICONERROR | MB_SETFOREGROUND);
}

void DownloadDialog::EndRun(RunEnd end) { EndDialog(windowHandle, DialogEndCode(end)); }

INT_PTR DownloadDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == msgConnected) {
        OnConnected(static_cast<int>(wParam));
    } else if (message == msgFileStarted) {
        OnFileStarted(static_cast<int>(wParam), static_cast<int>(lParam));
    } else if (message == msgProgress) {
        OnProgress(static_cast<int>(lParam));
    } else if (message == msgFileDone) {
        OnFileDone(static_cast<int>(wParam), lParam);
    } else if (message == msgWaitingForNetwork) {
        OnWaitingForNetwork(static_cast<int>(wParam));
    } else if (message == msgRunOver) {
        run.installing = true;
        RunInstallation(run, *this);
    } else if (message == msgHttpSettingsWanted) {
        // An unattended run (allowintervention=FALSE) has nobody to ask: the file fails
        // as when the settings are cancelled, and the run ends with its exit code.
        if (!run.allowIntervention)
            LogEvent("no road brought the file, and the description allows no questions");
        bool again = run.allowIntervention &&
                     AskForHttpSettings(*reinterpret_cast<HttpSettingsRequest*>(lParam));
        SetWindowLongPtrA(windowHandle, DWLP_MSGRESULT, again ? 1 : 0);
        return 1;
    } else if (message == WM_QUERYENDSESSION) {
        if (g_currentInstallProcess != -1) Sleep(1000);
        EndForSession();
        // A dialog answers this message through its message result: TRUE lets
        // Windows end the session.
        SetWindowLongPtrA(windowHandle, DWLP_MSGRESULT, TRUE);
        return 1;
    } else if (message == WM_ENDSESSION && wParam != 0) {
        // Normally ended at the question already; this covers a session ended without it.
        EndForSession();
        return 1;
    } else if (message == WM_INITDIALOG) {
        return OnInitDialog();
    } else if (message == WM_DPICHANGED) {
        // Moved to a monitor of another scale (per-monitor awareness of version 2): the
        // system rescales the dialog and its controls once this message has passed, but
        // not the columns, which this code placed.
        PostMessageA(windowHandle, msgFitColumns, 0, 0);
    } else if (message == msgFitColumns) {
        FitColumns();
        return 1;
    } else if (message == WM_COMMAND &&
               (LOWORD(wParam) == IDC_QUIT || LOWORD(wParam) == IDCANCEL)) {
        if (!AskToQuit()) return 0;
        LogEvent("Quit confirmed by the user");
        run.cancelledByUser = true;
        EndRun(RunEnd::Finished);
        return 1;
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDC_SUSPEND) {
        LogEvent("Suspend chosen by the user");
        httpWorker.Abort();
    }
    return Dialog::DialogProc(message, wParam, lParam);
}
