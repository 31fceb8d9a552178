// The download dialog: list columns, component rows, the worker reports and the
// choice of the next file.
#include "ui/download_dialog_win.h"

#include <stdlib.h>

#include "config/component_authenticity_win.h"
#include "config/component_table_win.h"
#include "shell/directories_win.h"
#include "config/string_table.h"
#include "install/installation_win.h"
#include "install/state_profile_win.h"
#include "shell/app_win.h"
#include "config/work_directory_win.h"
#include "transfer/messages_win.h"
#include "ui/prompt_dialogs_win.h"
#include "shell/resource_ids.h"
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

const char temporaryFileName[] = "tmp.tmp";
const char resumingCaption[] = "Resuming Download of Software...";

}  // namespace

DownloadDialog::DownloadDialog(char* workDirectory, bool showWelcome, bool resuming,
                               const char* descriptionPath, bool saveProxySettings)
    : Dialog(IDD_DOWNLOAD),
      workDirectory(workDirectory),
      descriptionPath(descriptionPath),
      showWelcome(showWelcome),
      resuming(resuming),
      saveProxySettings(saveProxySettings) {}

TransferWorker* DownloadDialog::SelectWorker(ProtocolKind protocol) {
    if (protocol == ProtocolFtp) return &ftpWorker;
    return &httpWorker;
}

void DownloadDialog::InsertColumns() {
    RECT client;
    GetClientRect(listView, &client);
    for (int i = 0; i < static_cast<int>(countof(columns)); ++i) {
        char title[80];
        if (LoadStringA(GetFrameworkInstance(), columns[i].titleId, title, countof(title)) == 0)
            title[0] = '\0';
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = columns[i].format;
        column.cx = client.right * columns[i].share / 1000;
        column.pszText = title;
        column.iSubItem = i;
        SendMessageA(listView, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
}

// A network run leaves a copy of the executable in the work directory and a Startup
// shortcut to it, so that a computer restarted during the download resumes it.
void DownloadDialog::PrepareNetworkRun() {
    for (int row = 0; row < componentCount; ++row) {
        Component* component = GetComponent(row);
        if (component == nullptr || !IsNetworkProtocol(GetProtocol(*component))) continue;
        networkRun = 1;
        char executable[260], copy[260];
        if (!ExecutableCopyPath(workDirectory, copy, executable)) return;
        // A run started from the copy cannot copy over itself; the copy is there.
        (void)CopyFileA(executable, copy, FALSE);
        SetStartupShortcut(true, copy,
                           saveProxySettings ? " /NoIntervention /SaveProxySettings"
                                             : " /NoIntervention");
        return;
    }
}

void DownloadDialog::ShowForDownload() {
    ShowWindow(windowHandle, SW_SHOW);
    if (!allowIntervention) {
        HWND quit = GetDlgItem(windowHandle, IDC_QUIT);
        EnableWindow(quit, FALSE);
        EnableWindow(GetDlgItem(windowHandle, IDC_SUSPEND), FALSE);
        RECT dialogRect, quitRect;
        GetWindowRect(windowHandle, &dialogRect);
        GetWindowRect(quit, &quitRect);
        MoveWindow(windowHandle, dialogRect.left, dialogRect.top, dialogRect.right - dialogRect.left,
                   quitRect.top - dialogRect.top, TRUE);
    }
    if (resuming) SetWindowTextA(windowHandle, resumingCaption);
}

bool DownloadDialog::LoadComponentList() {
    listView = GetDlgItem(windowHandle, IDC_COMPONENT_LIST);
    statusText = GetDlgItem(windowHandle, IDC_STATUS_TEXT);
    InsertColumns();
    return LoadDescriptions(*this) != 0;
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
    if (networkRun && !downloadComplete) {
        INT_PTR answer = 1;
        if (allowIntervention && showWelcome) {
            PromptDialog welcome(IDD_WELCOME);
            answer = welcome.DoModal(nullptr);
        }
        if (answer == 1)
            ShowForDownload();
        else
            refused = true;
    }
    if (refused || quitFromTray)
        EndDialog(windowHandle, IDC_QUIT);
    else
        RequestNextFile();
    return 1;
}

Component* DownloadDialog::GetComponent(int row) {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageA(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<Component*>(item.lParam);
}

void DownloadDialog::SetComponentStatus(int row, int status) {
    Component* component = GetComponent(row);
    if (component == nullptr) return;
    component->status = status;
    char text[100];
    StatusText(*component, text, countof(text));
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = 2;
    item.pszText = text;
    SendMessageA(listView, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    UpdateWindow(windowHandle);
}

void DownloadDialog::SetCurrentStatus(int status) { SetComponentStatus(currentIndex, status); }

void DownloadDialog::FreeComponents() {
    for (int row = 0; row < componentCount; ++row) free(GetComponent(row));
    componentCount = 0;
}

// Formats a status-line text; the arguments are bounded by their buffers (at most
// 260 and 80 characters), so the 1024 characters wsprintfA may write always fit.
void DownloadDialog::ShowStatus(UINT textId, int bufferSize, const char* first,
                                const char* second) {
    char format[300];
    if (bufferSize > static_cast<int>(countof(format))) bufferSize = countof(format);
    if (LoadStringA(GetFrameworkInstance(), textId, format, bufferSize) == 0) format[0] = '\0';
    char line[1024];
    if (textId == IDS_DISK_FULL || textId == IDS_WRITE_DENIED || textId == IDS_WAITING_FOR_NETWORK ||
        textId == IDS_NOT_AUTHENTIC || textId == IDS_KEY_INVALID || textId == IDS_CANNOT_VERIFY)
        ReplaceEveryPercentOne(format, first, line, countof(line));
    else
        wsprintfA(line, format, first, second);
    SetWindowTextA(statusText, line);
}

int DownloadDialog::EndRun(int failed) {
    PostMessageA(windowHandle, msgRunOver, failed, 0);
    return 0;
}

int DownloadDialog::RequestNextFile() {
    char target[260];
    for (;;) {
        if (connectPending) {
            connectPending = 0;
        } else {
            char* token;
            while ((token = NextToken(&fileCursor, " ,")) == nullptr) {
                if (!SelectNextDownload(*this)) return EndRun(0);
            }
            // A name that does not fit would fetch another file: the run fails instead.
            if (!CopyText(currentFile, token)) return EndRun(1);
            ++fileIndex;
        }
        if (!GetSourcePath(*currentComponent, currentFile, target, countof(target)))
            return EndRun(1);
        if (!PresentFileCounts(*currentComponent, static_cast<size_t>(fileIndex), target)) break;
    }

    ProtocolKind protocol = GetProtocol(*currentComponent);
    if (!IsNetworkProtocol(protocol)) return EndRun(1);
    TransferWorker* worker = SelectWorker(protocol);

    if (!EqualsIgnoringCase(connectedSite, site)) {
        char user[100], password[100], proxyUser[100], proxyPassword[100];
        ReadComponentValue(*currentComponent, "user", "", user, countof(user));
        ReadComponentValue(*currentComponent, "password", "", password, countof(password));
        ReadComponentValue(*currentComponent, "proxyuser", "", proxyUser, countof(proxyUser));
        ReadComponentValue(*currentComponent, "proxypassword", "", proxyPassword,
                           countof(proxyPassword));
        worker->SetLogin(user, password);
        worker->SetProxyLogin(proxyUser, proxyPassword);
        ShowStatus(IDS_CONNECTING, 300, site, nullptr);
        worker->Connect(site, proxy, port);
        connectPending = 1;
        return 1;
    }

    ShowStatus(IDS_DOWNLOADING_FILE, 300, currentFile, nullptr);
    char remote[260] = "";
    if (sourceDir[0] != '\0') {
        bool fits = CopyText(remote, sourceDir) && AppendText(remote, "/");
        if (fits && protocol == ProtocolFtp) fits = AppendText(remote, currentFile);
        if (!fits) return EndRun(1);
    }
    char local[260];
    if (!GetSourcePath(*currentComponent, temporaryFileName, local, countof(local)))
        return EndRun(1);
    if (protocol == ProtocolHttp) {
        char key[kPublisherKeyTextSize];
        ReadPublisherKey(*currentComponent, key);
        httpWorker.SetAuthenticity(key, target);
    } else if (!PrepareForPinnedFile(target)) {
        return EndRun(1);
    }
    if (worker->RequestFile(remote, local)) return 1;
    return EndRun(1);
}

void DownloadDialog::OnConnected(int result) {
    if (result != 0) {
        ShowStatus(IDS_CONNECT_ERROR, 256, site, nullptr);
        EndRun(1);
        return;
    }
    CopyText(connectedSite, site);
    RequestNextFile();
}

void DownloadDialog::OnFileStarted(int result, int size) {
    if (result != 0) {
        ShowStatus(IDS_RECEIVE_ERROR, 256, currentFile, site);
        EndRun(1);
        SetCurrentStatus(DownloadError);
        return;
    }
    fileTotal = size;
    // The line may still say that the worker waited for the network.
    ShowStatus(IDS_DOWNLOADING_FILE, 300, currentFile, nullptr);
    HWND progress = GetDlgItem(windowHandle, IDC_PROGRESS);
    SendMessageA(progress, PBM_SETRANGE, 0, MAKELPARAM(0, ProgressUpperBound(size)));
    SendMessageA(progress, PBM_SETPOS, 0, 0);
}

void DownloadDialog::OnWaitingForNetwork(int seconds) {
    char number[16];
    wsprintfA(number, "%d", seconds);
    ShowStatus(IDS_WAITING_FOR_NETWORK, 256, number, nullptr);
}

void DownloadDialog::OnProgress(int bytes) {
    char format[256];
    if (LoadStringA(GetFrameworkInstance(), IDS_DOWNLOAD_PROGRESS, format, countof(format)) == 0)
        format[0] = '\0';
    char line[1024];
    wsprintfA(line, format, currentFile, ShownKilobytes(bytes), ShownKilobytes(fileTotal));
    SetWindowTextA(statusText, line);
    SendMessageA(GetDlgItem(windowHandle, IDC_PROGRESS), PBM_SETPOS, bytes / 1024, 0);
}

namespace {
UINT FileDoneText(int result) {
    switch (result) {
    case TransferWriteFailed: return IDS_DISK_FULL;
    case TransferWriteDenied: return IDS_WRITE_DENIED;
    case TransferNotAuthentic: return IDS_NOT_AUTHENTIC;
    case TransferKeyInvalid: return IDS_KEY_INVALID;
    case TransferCannotVerify: return IDS_CANNOT_VERIFY;
    default: return IDS_RECEIVE_ERROR;
    }
}
}  // namespace

// A pinned file already there that does not match its pin is not the publisher's: it
// makes room for the download. False when it cannot be removed.
bool DownloadDialog::PrepareForPinnedFile(const char* target) {
    if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES) return true;
    if (DeleteFileA(target)) return true;
    ShowStatus(IDS_WRITE_DENIED, 256, currentFile, site);
    SetCurrentStatus(DownloadError);
    return false;
}

// The received file against what the description promises: a signed package's digest
// (checked by the worker) is recorded for the check before install; an ftp file must
// match its pin. The result to report for the file.
int DownloadDialog::CheckReceivedFile(const char* temporary, const char* final) {
    Sha256Digest digest;
    if (GetProtocol(*currentComponent) == ProtocolHttp) {
        if (httpWorker.digestVerified && !verifiedFiles.Record(final, httpWorker.verifiedDigest))
            return TransferNotAuthentic;
        return TransferOk;
    }
    if (!HasPinnedDigests(*currentComponent)) return TransferOk;
    if (!ReadPinnedDigest(*currentComponent, static_cast<size_t>(fileIndex), digest))
        return TransferNotAuthentic;
    AuthenticityResult result = FileMatchesDigest(temporary, digest);
    if (result == CannotVerify) return TransferCannotVerify;
    return result == Authentic ? TransferOk : TransferNotAuthentic;
}

void DownloadDialog::OnFileDone(int result, LPARAM how) {
    char temporary[260], final[260];
    bool named = GetSourcePath(*currentComponent, temporaryFileName, temporary,
                               countof(temporary)) &&
                 GetSourcePath(*currentComponent, currentFile, final, countof(final));
    if (result == 0 && named) result = CheckReceivedFile(temporary, final);
    if (result != 0) {
        // What is not the publisher's is never kept where it could be installed from.
        if (named && result == TransferNotAuthentic) (void)DeleteFileA(temporary);
        ShowStatus(FileDoneText(result), 256, currentFile, site);
        EndRun(1);
        SetCurrentStatus(DownloadError);
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
    ShowStatus(IDS_WRITE_DENIED, 256, currentFile, site);
    SetCurrentStatus(DownloadError);
    EndRun(1);
}

// The session ends: the download is suspended (the fetch stops, an open "HTTP Settings"
// dialog closes) and the run ends so that the restart shortcut is written.
void DownloadDialog::EndForSession() {
    shuttingDown = true;
    httpWorker.Abort();
    EndDialog(windowHandle, IDC_SUSPEND);
}

// Holds the transfer while the user decides; true when the user confirmed Quit.
bool DownloadDialog::AskToQuit() {
    httpWorker.Suspend();
    char text[512], title[50];
    HINSTANCE instance = GetFrameworkInstance();
    if (LoadStringA(instance, IDS_CONFIRM_QUIT, text, countof(text)) == 0) text[0] = '\0';
    if (LoadStringA(instance, IDS_APP_TITLE, title, countof(title)) == 0) title[0] = '\0';
    // A Quit from the tray while the question waited has decided already.
    if (MessageBoxA(windowHandle, text, title, MB_YESNO | MB_ICONWARNING) != IDYES &&
        !quitFromTray) {
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
    if (installing) return;
    quitFromTray = true;
    ftpWorker.Disconnect();
    httpWorker.Disconnect();
    EndDialog(windowHandle, IDC_QUIT);
}

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
        installing = true;
        RunInstallation(*this, wParam);
    } else if (message == msgHttpSettingsWanted) {
        bool again = AskForHttpSettings(*reinterpret_cast<HttpSettingsRequest*>(lParam));
        SetWindowLongPtrA(windowHandle, DWLP_MSGRESULT, again ? 1 : 0);
        return 1;
    } else if (message == WM_DESTROY) {
        FreeComponents();
    } else if (message == WM_QUERYENDSESSION) {
        if (currentInstallProcess != -1) Sleep(1000);
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
    } else if (message == WM_COMMAND && (LOWORD(wParam) == IDC_QUIT || LOWORD(wParam) == IDCANCEL)) {
        if (!AskToQuit()) return 0;
        EndDialog(windowHandle, IDC_QUIT);
        return 1;
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDC_SUSPEND) {
        httpWorker.Abort();
    }
    return Dialog::DialogProc(message, wParam, lParam);
}
