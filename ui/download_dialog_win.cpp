// The download dialog: list columns, component rows, the workers' reports turned into
// the download flow's events, its commands carried out, and what the installation shows
// and asks.
#include "ui/download_dialog_win.h"

#include "config/component_authenticity_win.h"
#include "config/component_table_win.h"
#include "shell/directories_win.h"
#include "install/install_actions_win.h"
#include "install/installation_win.h"
#include "shell/process_state_win.h"
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

void DownloadDialog::ShowComponentList() {
    listView = GetDlgItem(windowHandle, IDC_COMPONENT_LIST);
    statusText = GetDlgItem(windowHandle, IDC_STATUS_TEXT);
    InsertColumns();
    InsertRows();
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
    ShowComponentList();
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
    flow.Handle(refused ? FlowEvent::Decline : FlowEvent::Begin);
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

void DownloadDialog::OnFileStarted(int result, int size) {
    FlowReport report{FlowEvent::FileStarted};
    report.result = result;
    flow.Handle(report);
    if (result != TransferOk || flow.State() != FlowState::Fetching) return;
    fileTotal = size;
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

void DownloadDialog::OnFileDone(int result, LPARAM how) {
    FlowReport report{FlowEvent::FileDone};
    report.result = result;
    report.keptInPlace = how == fileKeptInPlace;
    const Component* component = CurrentComponent();
    if (component != nullptr)
        report.digestVerified = SelectWorker(Protocol(*component))->VerifiedDigest(report.digest);
    flow.Handle(report);
}

// Holds the transfer while the user decides; true when the user confirmed Quit.
bool DownloadDialog::AskToQuit() {
    httpWorker.Hold();
    char text[512], title[50];
    HINSTANCE instance = GetFrameworkInstance();
    LoadResourceString(instance, IDS_CONFIRM_QUIT, text);
    LoadResourceString(instance, IDS_APP_TITLE, title);
    // A Quit from the tray while the question waited has decided already.
    if (MessageBoxA(windowHandle, text, title, MB_YESNO | MB_ICONWARNING) != IDYES &&
        !flow.QuitChosenFromTray()) {
        httpWorker.Release();
        return false;
    }
    return true;
}

// The user chose Quit from the tray icon's menu.
void DownloadDialog::QuitFromTray() { flow.Handle(FlowEvent::QuitFromTray); }

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
        FlowReport report{FlowEvent::Connected};
        report.result = static_cast<int>(wParam);
        flow.Handle(report);
    } else if (message == msgFileStarted) {
        OnFileStarted(static_cast<int>(wParam), static_cast<int>(lParam));
    } else if (message == msgProgress) {
        OnProgress(static_cast<int>(lParam));
    } else if (message == msgFileDone) {
        OnFileDone(static_cast<int>(wParam), lParam);
    } else if (message == msgWaitingForNetwork) {
        OnWaitingForNetwork(static_cast<int>(wParam));
    } else if (message == msgRunOver) {
        flow.Handle(FlowEvent::DownloadOver);
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
        flow.Handle(FlowEvent::SessionEnding);
        // A dialog answers this message through its message result: TRUE lets
        // Windows end the session.
        SetWindowLongPtrA(windowHandle, DWLP_MSGRESULT, TRUE);
        return 1;
    } else if (message == WM_ENDSESSION && wParam != 0) {
        // Normally ended at the question already; this covers a session ended without it.
        flow.Handle(FlowEvent::SessionEnding);
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
        if (!DownloadFlow::Accepts(flow.State(), FlowEvent::Quit) || !AskToQuit()) return 0;
        flow.Handle(FlowEvent::Quit);
        return 1;
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDC_SUSPEND) {
        flow.Handle(FlowEvent::Suspend);
        return 1;
    }
    return Dialog::DialogProc(message, wParam, lParam);
}

void DownloadDialog::ReadDownload(const Component& component, ComponentDownload& out) {
    ReadComponentValue(component, "files", "", out.files, countof(out.files));
    ReadComponentValue(component, "site", "", out.site, countof(out.site));
    ReadComponentValue(component, "proxy", "", out.proxy, countof(out.proxy));
    ReadComponentValue(component, "port", "", out.port, countof(out.port));
    ReadComponentValue(component, "sourceDir", "", out.sourceDir, countof(out.sourceDir));
}

ProtocolKind DownloadDialog::Protocol(const Component& component) { return GetProtocol(component); }

bool DownloadDialog::SourcePath(const Component& component, const char* name, char (&out)[260]) {
    return GetSourcePath(component, name, out, countof(out));
}

bool DownloadDialog::FileCounts(const Component& component, size_t index, const char* path) {
    return PresentFileCounts(component, index, path);
}

bool DownloadDialog::SourceRefused(const Component& component) {
    return JudgeComponentSource(component) == SourceVerdict::Refused;
}

PinCheck DownloadDialog::CheckPin(const Component& component, size_t index, const char* temporary,
                                  Sha256Digest& digest) {
    if (!HasPinnedDigests(component)) return PinCheck::NotPinned;
    if (!ReadPinnedDigest(component, index, digest)) return PinCheck::NoPin;
    AuthenticityResult result = FileMatchesDigest(temporary, digest);
    if (result == CannotVerify) return PinCheck::CannotVerify;
    return result == Authentic ? PinCheck::Matches : PinCheck::Mismatch;
}

void DownloadDialog::Connect(const Component& component, ProtocolKind protocol, const char* site,
                             const char* proxy, const char* port) {
    char user[kLoginValueSize], password[kLoginValueSize], proxyUser[kLoginValueSize],
        proxyPassword[kLoginValueSize];
    ReadComponentValue(component, "user", "", user, countof(user));
    ReadComponentValue(component, "password", "", password, countof(password));
    ReadComponentValue(component, "proxyuser", "", proxyUser, countof(proxyUser));
    ReadComponentValue(component, "proxypassword", "", proxyPassword, countof(proxyPassword));
    TransferWorker* worker = SelectWorker(protocol);
    worker->SetLogin(user, password);
    worker->SetProxyLogin(proxyUser, proxyPassword);
    worker->Connect(site, proxy, port);
}

// A pinned file already there that does not match its pin is not the publisher's: it
// makes room for the download.
bool DownloadDialog::PrepareTarget(const Component& component, ProtocolKind protocol,
                                   const char* target) {
    if (protocol == ProtocolHttp) {
        char key[kPublisherKeyTextSize], minVersion[httpFieldSize];
        ReadPublisherKey(component, key);
        ReadComponentValue(component, "minVersion", "", minVersion, countof(minVersion));
        httpWorker.SetAuthenticity(key, target, minVersion);
        return true;
    }
    if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES) return true;
    return DeleteFileA(target) != FALSE;
}

bool DownloadDialog::RequestFile(ProtocolKind protocol, const char* remote, const char* local) {
    return SelectWorker(protocol)->RequestFile(remote, local) != 0;
}

void DownloadDialog::StopTransfers() {
    ftpWorker.Disconnect();
    httpWorker.Disconnect();
}

void DownloadDialog::AbortTransfer() { httpWorker.Abort(); }

void DownloadDialog::StopTransferForSession() {
    g_shuttingDown = true;
    httpWorker.Abort();
}

void DownloadDialog::RemoveFile(const char* path) { (void)DeleteFileA(path); }

bool DownloadDialog::PutInPlace(const char* temporary, const char* final) {
    CreateParentDirectories(final);
    return MoveFileA(temporary, final) != FALSE;
}

void DownloadDialog::Log(const char* line) { LogEvent("%s", line); }

void DownloadDialog::PostDownloadOver(bool failed) {
    PostMessageA(windowHandle, msgRunOver, failed ? 1 : 0, 0);
}

void DownloadDialog::StartInstallation() { RunInstallation(run, *this); }
