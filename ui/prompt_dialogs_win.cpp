// The prompt dialogs and the HTTP settings dialog.
#include "ui/prompt_dialogs_win.h"

#include "shell/resource_ids.h"

namespace {

const UINT_PTR cancelTimerId = 1;
const UINT cancelPollMilliseconds = 100;

void CopyIfGiven(char (&field)[HttpSettingsDialog::kFieldSize], const char* text) {
    if (text != nullptr) CopyText(field, text);
}

}  // namespace

HttpSettingsDialog::HttpSettingsDialog(const char* proxyHost, const char* proxyPort,
                                       const char* proxyUser, const char* proxyPassword,
                                       const char* serverAddress, const char* remoteDirectory,
                                       const char* userName, const char* password)
    : Dialog(IDD_HTTP_SETTINGS) {
    CopyIfGiven(this->proxyHost, proxyHost);
    CopyIfGiven(this->proxyPort, proxyPort);
    CopyIfGiven(this->proxyUser, proxyUser);
    CopyIfGiven(this->proxyPassword, proxyPassword);
    if (serverAddress != nullptr && remoteDirectory != nullptr) {
        // A long address is only shown, never used: cutting it is harmless.
        CopyText(address, serverAddress);
        AppendText(address, remoteDirectory);
    }
    CopyIfGiven(siteUser, userName);
    CopyIfGiven(sitePassword, password);
}

void HttpSettingsDialog::ReadFields() {
    // Longer input is cut to the field; the address is display only and never read.
    GetDlgItemTextA(windowHandle, IDC_PROXY_HOST, proxyHost, kFieldSize);
    GetDlgItemTextA(windowHandle, IDC_PROXY_PORT, proxyPort, kFieldSize);
    GetDlgItemTextA(windowHandle, IDC_PROXY_USER, proxyUser, kFieldSize);
    GetDlgItemTextA(windowHandle, IDC_PROXY_PASSWORD, proxyPassword, kFieldSize);
    GetDlgItemTextA(windowHandle, IDC_SITE_USER, siteUser, kFieldSize);
    GetDlgItemTextA(windowHandle, IDC_SITE_PASSWORD, sitePassword, kFieldSize);
}

bool HttpSettingsDialog::EndIfCancelled() {
    if (cancelFlag == nullptr || *cancelFlag == 0) return false;
    KillTimer(windowHandle, cancelTimerId);
    EndDialog(windowHandle, IDC_SECOND_CHOICE);
    return true;
}

INT_PTR HttpSettingsDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        // Shown without an owner while the download dialog stays active, the dialog
        // brings itself to the foreground.
        CentreOnScreen(windowHandle);
        // The run may end meanwhile (Suspend, Quit, the end of the session); whoever
        // ends it raises the flag without knowing of this dialog: this one looks.
        if (cancelFlag != nullptr && !EndIfCancelled())
            SetTimer(windowHandle, cancelTimerId, cancelPollMilliseconds, nullptr);
        return OnInitDialog();
    }
    if (message == WM_TIMER && wParam == cancelTimerId) return EndIfCancelled() ? 1 : 0;
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) ReadFields();
    return Dialog::DialogProc(message, wParam, lParam);
}

INT_PTR HttpSettingsDialog::OnInitDialog() {
    SetDlgItemTextA(windowHandle, IDC_PROXY_HOST, proxyHost);
    SetDlgItemTextA(windowHandle, IDC_PROXY_PORT, proxyPort);
    SetDlgItemTextA(windowHandle, IDC_PROXY_USER, proxyUser);
    SetDlgItemTextA(windowHandle, IDC_PROXY_PASSWORD, proxyPassword);
    SetDlgItemTextA(windowHandle, IDC_ADDRESS, address);
    SetDlgItemTextA(windowHandle, IDC_SITE_USER, siteUser);
    SetDlgItemTextA(windowHandle, IDC_SITE_PASSWORD, sitePassword);
    // Nonzero: the dialog manager gives the focus to the first enabled tab stop.
    return 1;
}

bool AskForHttpSettings(HttpSettingsRequest& request) {
    ConnectionSettings& s = *request.settings;
    HttpSettingsDialog dialog(s.proxyHost, s.proxyPort, s.proxyUser, s.proxyPassword,
                              request.siteBase, request.remotePath, s.siteUser, s.sitePassword);
    dialog.SetCancelFlag(request.cancelFlag);
    INT_PTR answer = dialog.DoModal(nullptr);
    // The run's dialog, whose modal loop this one ran inside, may have been ended meanwhile
    // (Suspend, Quit): its loop looks again only at its next message, and the one that
    // EndDialog left to wake it was taken by this dialog's loop.
    (void)PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);  // harmless if it fails
    // A dialog that cannot be shown cannot be answered: trying again would never end.
    if (answer == IDC_SECOND_CHOICE || answer == -1) return false;
    CopyText(s.proxyHost, dialog.proxyHost);
    CopyText(s.proxyPort, dialog.proxyPort);
    CopyText(s.proxyUser, dialog.proxyUser);
    CopyText(s.proxyPassword, dialog.proxyPassword);
    CopyText(s.siteUser, dialog.siteUser);
    CopyText(s.sitePassword, dialog.sitePassword);
    return true;
}
