// The installation driver: checks that every component is present, asks the user,
// installs the downloaded components in install order and ends the download dialog
// with the run's outcome, recording its progress in the state profile.
#include "install/installation_win.h"

#include "config/component_authenticity_win.h"
#include "config/component_table_win.h"
#include "install/registry_section_win.h"
#include "install/state_profile_win.h"
#include "shell/app_win.h"
#include "transfer/http_worker_win.h"
#include "ui/download_dialog_win.h"
#include "ui/prompt_dialogs_win.h"
#include "shell/resource_ids.h"
#include "common/status_line.h"

namespace {

// A component whose install order is this or more is never installed.
constexpr int kNeverInstalled = 10000;
// Room for an entry after substitution.
constexpr size_t kEntrySize = 512;

// Refreshes the rows' states in list order; ready when each is installed or downloaded.
// The check stops at the first component that is neither.
bool EveryComponentPresent(DownloadDialog& dialog) {
    for (int row = 0; row < dialog.componentCount; ++row) {
        Component* component = dialog.GetComponent(row);
        if (component == nullptr) return false;
        ClassifyComponent(*component);
        dialog.SetComponentStatus(row, component->status);
        if (component->status != AlreadyInstalled && component->status != Downloaded) return false;
    }
    return true;
}

bool IsLocalOnly(DownloadDialog& dialog) {
    for (int row = 0; row < dialog.componentCount; ++row) {
        Component* component = dialog.GetComponent(row);
        if (component != nullptr && IsNetworkProtocol(GetProtocol(*component))) return false;
    }
    return true;
}

void LoadText(UINT id, char* out, int size) {
    if (LoadStringA(GetFrameworkInstance(), id, out, size) == 0) out[0] = '\0';
}

// The state profile is written only when its path could be built.
void WriteState(const char* profile, const char* section, const char* key, const char* value) {
    if (profile[0] != '\0') WritePrivateProfileStringA(section, key, value, profile);
}

void ReportNotReady(DownloadDialog& dialog, const char* caption) {
    char text[512];
    LoadText(dialog.networkRun ? IDS_DOWNLOAD_INCOMPLETE : IDS_FILES_MISSING, text, countof(text));
    MessageBoxA(dialog.windowHandle, text, caption, MB_ICONERROR | MB_SETFOREGROUND);
    EndDialog(dialog.windowHandle, IDC_SECOND_CHOICE);
}

// A network run hides its dialog for good and, when allowed, asks prompt 104.
// Returns the decision: 1 installs.
INT_PTR AskToInstall(DownloadDialog& dialog) {
    INT_PTR decision = 1;
    if (!dialog.networkRun) return decision;
    ShowWindow(dialog.windowHandle, SW_HIDE);
    if (dialog.allowIntervention) {
        PromptDialog ready(IDD_READY_TO_INSTALL);
        decision = ready.DoModal(nullptr);
    }
    EnableWindow(GetDlgItem(dialog.windowHandle, IDC_QUIT), FALSE);
    EnableWindow(dialog.windowHandle, TRUE);
    return decision;
}

// Prompt 106: "Delete files" ends with 1003; "Keep files" or Escape keeps them for
// the next start, which goes straight to installation.
void EndDeclined(DownloadDialog& dialog, const char* profile) {
    PromptDialog cancel(IDD_CANCEL_INSTALLATION);
    if (cancel.DoModal(nullptr) == IDC_SECOND_CHOICE) {
        EndDialog(dialog.windowHandle, IDC_QUIT);
        return;
    }
    WriteState(profile, "download", "complete", "1");
    EndDialog(dialog.windowHandle, IDC_SECOND_CHOICE);
}

void RecordInstallStart(const DownloadDialog& dialog, const char* profile) {
    WriteState(profile, "result", "success", "0");
    WriteState(profile, "download", "complete", "1");
    if (!dialog.networkRun || !dialog.saveProxySettings) return;
    if (connectionSettings.proxyHost[0] == '\0') {
        WriteState(profile, "ProxySettings", "Valid", "FALSE");
        return;
    }
    WriteState(profile, "ProxySettings", "Valid", "TRUE");
    WriteState(profile, "ProxySettings", "Proxy", connectionSettings.proxyHost);
    WriteState(profile, "ProxySettings", "Port", connectionSettings.proxyPort);
}

// The downloaded component with the smallest install order below the limit; the first
// in list order on a tie. -1 when none is left.
int ChooseNextComponent(DownloadDialog& dialog) {
    int chosen = -1;
    int chosenOrder = kNeverInstalled;
    for (int row = 0; row < dialog.componentCount; ++row) {
        Component* component = dialog.GetComponent(row);
        if (component == nullptr || component->status != Downloaded) continue;
        if (component->installOrder < chosenOrder) {
            chosen = row;
            chosenOrder = component->installOrder;
        }
    }
    return chosen;
}

void ReadDisplayName(DownloadDialog& dialog, int row, char (&name)[70]) {
    name[0] = '\0';
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = name;
    item.cchTextMax = static_cast<int>(countof(name));
    if (!SendMessageA(dialog.listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        name[0] = '\0';
}

void ShowActionStatus(const DownloadDialog& dialog, UINT textId, const char* name) {
    char format[100];
    LoadText(textId, format, countof(format));
    // A 99-character format and a 69-character name stay well within wsprintfA's 1024.
    char line[1024];
    wsprintfA(line, format, name);
    char text[100];
    CopyText(text, line);
    SetWindowTextA(GetDlgItem(dialog.windowHandle, IDC_STATUS_TEXT), text);
}

// Reads the entry key<pass> of the component; false when it is empty or missing.
bool ReadEntry(const Component& component, const char* key, int pass, char (&entry)[kEntrySize]) {
    char name[32];
    wsprintfA(name, "%s%d", key, pass);
    ReadComponentValue(component, name, "", entry, countof(entry));
    return entry[0] != '\0';
}

// A component whose files are no longer what the publisher signed or pinned is not
// installed, and nothing after it is.
void ReportNotAuthentic(const DownloadDialog& dialog, const char* name, AuthenticityResult result) {
    char format[256], text[512], caption[50];
    LoadText(result == CannotVerify ? IDS_CANNOT_VERIFY : IDS_NOT_AUTHENTIC, format,
             countof(format));
    ReplaceEveryPercentOne(format, name, text, countof(text));
    LoadText(IDS_APP_TITLE, caption, countof(caption));
    SetWindowTextA(GetDlgItem(dialog.windowHandle, IDC_STATUS_TEXT), text);
    if (dialog.allowIntervention)
        MessageBoxA(dialog.windowHandle, text, caption, MB_ICONERROR | MB_SETFOREGROUND);
}

// Runs the component's passes; returns the success flag after them. Only the result of
// the last extract or install action counts.
int InstallComponent(DownloadDialog& dialog, int row, int success) {
    Component& component = *dialog.GetComponent(row);
    char name[70];
    ReadDisplayName(dialog, row, name);
    AuthenticityResult checked = CheckFilesBeforeInstall(component);
    if (checked != Authentic) {
        dialog.SetComponentStatus(row, DownloadError);
        ReportNotAuthentic(dialog, name, checked);
        return 0;
    }
    int count = static_cast<int>(
        GetPrivateProfileIntA(component.sectionName, "count", 1, component.descriptionPath));
    char entry[kEntrySize];
    for (int pass = 1; pass <= count; ++pass) {
        if (ReadEntry(component, "extract", pass, entry)) {
            ShowActionStatus(dialog, IDS_EXTRACTING, name);
            dialog.SetComponentStatus(row, Extracting);
            success = PerformInstallAction(component, entry);
        }
        if (ReadEntry(component, "registry", pass, entry))
            ApplyRegistrySection(component.descriptionPath, entry);
        if (ReadEntry(component, "install", pass, entry)) {
            ShowActionStatus(dialog, IDS_INSTALLING, name);
            dialog.SetComponentStatus(row, Installing);
            success = PerformInstallAction(component, entry);
        }
        if (success == 0) break;
    }
    dialog.SetComponentStatus(row, InstallDone);
    return success;
}

// Installs component after component until none is left or one fails.
void InstallComponents(DownloadDialog& dialog) {
    int success = 1;
    while (success == 1) {
        int row = ChooseNextComponent(dialog);
        if (row < 0) return;
        success = InstallComponent(dialog, row, success);
    }
}

void EndInstalled(DownloadDialog& dialog, const char* profile, bool localOnly) {
    int succeeded = profile[0] != '\0' && GetPrivateProfileIntA("result", "success", 0, profile) == 1;
    if (!succeeded && !(localOnly && !nestedRun)) {
        EndDialog(dialog.windowHandle, IDC_SECOND_CHOICE);
        return;
    }
    EndDialog(dialog.windowHandle, IDC_QUIT);
    if (profile[0] == '\0') return;
    if (dialog.networkRun) {
        DeleteFileA(profile);
    } else {
        // Installed, nothing is left for the next start to install: a "complete" left
        // at 1 would make the next network run skip its welcome and its dialog.
        WriteState(profile, "download", "complete", "0");
    }
}

}  // namespace

void RunInstallation(DownloadDialog& dialog, WPARAM) {
    SetForegroundWindow(dialog.windowHandle);
    char caption[50];
    LoadText(IDS_APP_TITLE, caption, countof(caption));
    if (!EveryComponentPresent(dialog)) {
        ReportNotReady(dialog, caption);
        return;
    }
    char text[100];
    LoadText(IDS_ALL_DOWNLOADED, text, countof(text));
    SetWindowTextA(GetDlgItem(dialog.windowHandle, IDC_STATUS_TEXT), text);
    SendMessageA(GetDlgItem(dialog.windowHandle, IDC_PROGRESS), PBM_SETPOS, 0, 0);
    char profile[260];
    if (!GetStateProfilePath(profile)) profile[0] = '\0';
    if (AskToInstall(dialog) != 1) {
        EndDeclined(dialog, profile);
        return;
    }
    RecordInstallStart(dialog, profile);
    bool localOnly = IsLocalOnly(dialog);
    InstallComponents(dialog);
    // The extension library may have come from the work directory, which is to be
    // deleted once the run ends.
    ReleaseExtensionLibrary();
    EndInstalled(dialog, profile, localOnly);
}
