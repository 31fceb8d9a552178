// The download dialog (template 101): the list of components and the controller of
// one download run. It holds the run's component table (one list-view row per
// `Component`), drives the two transfer workers through their registered messages,
// and hands over to the installation driver when no file is left.
#pragma once

#include "common/win32.h"
#include "config/component_rules.h"
#include "config/verified_files.h"
#include "transfer/ftp_worker_win.h"
#include "transfer/http_worker_win.h"
#include "shell/window_win.h"

struct Component;

class DownloadDialog : public Dialog {
public:
    DownloadDialog(char* workDirectory, bool showWelcome, bool resuming,
                   const char* descriptionPath, bool saveProxySettings);

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual INT_PTR OnInitDialog();
    // Creates the list's columns and reads the descriptions into its rows; false when
    // the payload could not be extracted and the dialog has been ended.
    bool LoadComponentList();
    // The worker that fetches files of a protocol (ftp or http).
    virtual TransferWorker* SelectWorker(ProtocolKind protocol);

    // The component of a row (its item data).
    Component* GetComponent(int row);
    // Stores the status in the row's component and shows its text in the Status column.
    void SetComponentStatus(int row, int status);
    void SetCurrentStatus(int status);

    // Starts the connection or transfer of the next missing file; 0 when it posted "dldone".
    int RequestNextFile();
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

    FtpWorker ftpWorker;
    HttpWorker httpWorker;
    char* workDirectory;
    HWND listView = nullptr;
    HWND statusText = nullptr;
    int componentCount = 0;
    const char* descriptionPath;
    int currentIndex = -1;
    Component* currentComponent = nullptr;
    char fileList[300] = {};
    char* fileCursor = fileList;
    char currentFile[260] = {};
    int fileIndex = -1;  // of currentFile in fileList
    // The files found to be the publisher's in this run, checked again before install.
    VerifiedFiles verifiedFiles;
    char sourceDir[260] = {};
    char site[80] = {};
    char proxy[80] = {};
    char port[80] = {};
    char connectedSite[80] = {};
    int connectPending = 0;
    int fileTotal = 0;
    int networkRun = 0;
    int allowIntervention = 1;
    int showWelcome;
    int resuming;
    bool saveProxySettings;
    bool quitFromTray = false;  // the run ends as after a confirmed Quit, whatever is asked
    bool installing = false;    // the download is over; the installation decides the end

private:
    void InsertColumns();
    void FreeComponents();
    void PrepareNetworkRun();
    void ShowForDownload();
    bool AskToQuit();
    void EndForSession();
    int EndRun(int failed);
    void ShowStatus(UINT textId, int bufferSize, const char* first, const char* second);
};
