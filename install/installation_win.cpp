// The installation driver. The readiness check is complete; installing the
// components comes with the install actions, so a ready run ends keeping its files.
#include "install/installation_win.h"

#include "config/component_table_win.h"
#include "ui/download_dialog_win.h"
#include "ui/resource_ids.h"

INT_PTR currentInstallProcess = -1;

namespace {

// Refreshes every row's status; ready when each is installed or downloaded.
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

}  // namespace

void RunInstallation(DownloadDialog& dialog, WPARAM) {
    HWND window = dialog.windowHandle;
    SetForegroundWindow(window);
    HINSTANCE instance = GetFrameworkInstance();
    char caption[50];
    if (LoadStringA(instance, IDS_APP_TITLE, caption, countof(caption)) == 0) caption[0] = '\0';
    if (!EveryComponentPresent(dialog)) {
        char text[512];
        UINT id = dialog.networkRun ? IDS_DOWNLOAD_INCOMPLETE : IDS_FILES_MISSING;
        if (LoadStringA(instance, id, text, countof(text)) == 0) text[0] = '\0';
        MessageBoxA(window, text, caption, MB_ICONERROR | MB_SETFOREGROUND);
        EndDialog(window, IDC_CANCEL);
        return;
    }
    char text[100];
    if (LoadStringA(instance, IDS_ALL_DOWNLOADED, text, countof(text)) == 0) text[0] = '\0';
    SetWindowTextA(GetDlgItem(window, IDC_STATUS_TEXT), text);
    SendMessageA(GetDlgItem(window, IDC_PROGRESS), PBM_SETPOS, 0, 0);
    EndDialog(window, IDC_CANCEL);
}
