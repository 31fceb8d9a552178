// The download dialog (template 101): shows one run's components (one list-view row
// per component of the `InstallerRun`, in its order) and adapts the download flow to the
// window: the workers' registered messages and the user's choices become the flow's
// events, and its commands become calls of the workers, the disk and the controls.
// When no file is left it hands over to the installation driver, showing and asking
// for it.
#pragma once

#include "common/win32.h"
#include "config/component_rules.h"
#include "config/download_flow.h"
#include "config/installer_run.h"
#include "install/install_view.h"
#include "transfer/ftp_worker_win.h"
#include "transfer/http_worker_win.h"
#include "shell/window_win.h"

class DownloadDialog : public Dialog,
                       private ComponentStatusListener,
                       private InstallView,
                       private DownloadPort {
public:
    DownloadDialog(char* workDirectory, bool showWelcome, bool resuming,
                   const char* descriptionPath, bool saveProxySettings);

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual INT_PTR OnInitDialog();
    // Creates the list's columns and shows the run's components, one row each.
    void ShowComponentList();
    // The worker that fetches files of a protocol (ftp or http).
    virtual TransferWorker* SelectWorker(ProtocolKind protocol);

    // The component being fetched; nullptr before the first and after the last.
    Component* CurrentComponent() { return run.ComponentAt(run.currentIndex); }

    void OnFileStarted(int result, int size);
    void OnProgress(int bytes);
    // "dl5": no server answered yet; the ladder is tried again in seconds.
    void OnWaitingForNetwork(int seconds);
    void OnFileDone(int result, LPARAM how);
    // Quit chosen from the tray icon while this run is open.
    void QuitFromTray();

    InstallerRun run;
    DownloadFlow flow{run, *this};
    FtpWorker ftpWorker;
    HttpWorker httpWorker;
    HWND listView = nullptr;
    HWND statusText = nullptr;
    // An earlier run completed the download (the state profile said so, and no longer
    // does): the dialog stays hidden and asks nothing before the installation.
    bool downloadComplete = false;

private:
    int fileTotal = 0;  // the size the worker announced for the current file

    void InsertColumns();
    void FitColumns();  // each column its share of the list's width
    void InsertRows();
    void SetCellText(int row, int column, const char* text);
    void ShowForDownload();
    bool AskToQuit();

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

    // What the download flow reads and does.
    void ReadDownload(const Component& component, ComponentDownload& out) override;
    ProtocolKind Protocol(const Component& component) override;
    bool SourcePath(const Component& component, const char* name, char (&out)[260]) override;
    bool FileCounts(const Component& component, size_t index, const char* path) override;
    bool SourceRefused(const Component& component) override;
    PinCheck CheckPin(const Component& component, size_t index, const char* temporary,
                      Sha256Digest& digest) override;
    void Connect(const Component& component, ProtocolKind protocol, const char* site,
                 const char* proxy, const char* port) override;
    bool PrepareTarget(const Component& component, ProtocolKind protocol,
                       const char* target) override;
    bool RequestFile(ProtocolKind protocol, const char* remote, const char* local) override;
    void StopTransfers() override;
    void AbortTransfer() override;
    void StopTransferForSession() override;
    void RemoveFile(const char* path) override;
    bool PutInPlace(const char* temporary, const char* final) override;
    void ShowStatus(unsigned textId, int bufferSize, const char* first,
                    const char* second) override;
    void Log(const char* line) override;
    void PostDownloadOver(bool failed) override;
    void StartInstallation() override;
};
