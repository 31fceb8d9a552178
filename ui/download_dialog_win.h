// The download dialog (template 101): shows one run's components (one list-view row
// per component of the `InstallerRun`, in its order), drives the two transfer workers
// through their registered messages, and hands over to the installation driver when no
// file is left, showing and asking for it.
#pragma once

#include "common/win32.h"
#include "config/component_rules.h"
#include "config/installer_run.h"
#include "install/install_view.h"
#include "transfer/ftp_worker_win.h"
#include "transfer/http_worker_win.h"
#include "shell/window_win.h"

class DownloadDialog : public Dialog, private ComponentStatusListener, private InstallView {
public:
    DownloadDialog(char* workDirectory, bool showWelcome, bool resuming,
                   const char* descriptionPath, bool saveProxySettings);

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual INT_PTR OnInitDialog();
    // Creates the list's columns, reads the descriptions into the run and shows its
    // components; false when the payload could not be extracted or holds no description,
    // and the dialog has been ended.
    bool LoadComponentList();
    // The worker that fetches files of a protocol (ftp or http).
    virtual TransferWorker* SelectWorker(ProtocolKind protocol);

    // The component being fetched; nullptr before the first and after the last.
    Component* CurrentComponent() { return run.ComponentAt(run.currentIndex); }

    // Starts the connection or transfer of the next missing file; false when it posted
    // "dldone".
    bool RequestNextFile();
    void OnConnected(int result);
    void OnFileStarted(int result, int size);
    void OnProgress(int bytes);
    // "dl5": no server answered yet; the ladder is tried again in seconds.
    void OnWaitingForNetwork(int seconds);
    void OnFileDone(int result, LPARAM how);
    bool PrepareForPinnedFile(const char* target);
    int CheckReceivedFile(const char* temporary, const char* final);
    // Quit chosen from the tray icon while this run is open.
    void QuitFromTray();

    InstallerRun run;
    FtpWorker ftpWorker;
    HttpWorker httpWorker;
    HWND listView = nullptr;
    HWND statusText = nullptr;
    // The installer's payload held no description: the run ended before it began.
    bool holdsNoDescription = false;

private:
    bool connectPending = false;  // the current file waits for the connection ("dl1")
    int fileTotal = 0;            // the size the worker announced for the current file

    void InsertColumns();
    void FitColumns();  // each column its share of the list's width
    void InsertRows();
    void ShowLoadFailure(UINT textId);
    void SetCellText(int row, int column, const char* text);
    bool FindMissingFile(char (&target)[260]);
    void PrepareNetworkRun();
    void ShowForDownload();
    bool AskToQuit();
    void EndForSession();
    bool EndDownload(bool failed);
    void ShowStatus(UINT textId, int bufferSize, const char* first, const char* second);

    // The Status cell of a row follows its component.
    void OnComponentStatus(int index) override;

    // What the installation driver shows and asks.
    void BringToFront() override;
    void ShowStatusLine(const char* text) override;
    void ResetProgress() override;
    void HideForInstallation() override;
    bool AskReadyToInstall() override;
    void LockQuit() override;
    bool AskDeleteFiles() override;
    void ShowError(const char* text, const char* caption) override;
    void EndRun(RunEnd end) override;
};
