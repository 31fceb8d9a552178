// The download dialog (template 101): the list of components and the controller of
// one download run. It holds the run's component table: one list-view row per
// `Component`, the row being downloaded and that component's keys.
#pragma once

#include "common/win32.h"
#include "ui/window_win.h"

struct Component;

class DownloadDialog : public Dialog {
public:
    DownloadDialog(char* workDirectory, bool showWelcome, bool resuming,
                   const char* descriptionPath, bool saveProxySettings);

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual INT_PTR OnInitDialog();

    // The component of a row (its item data).
    Component* GetComponent(int row);
    // Stores the status in the row's component and shows its text in the Status column.
    void SetComponentStatus(int row, int status);
    void SetCurrentStatus(int status);

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

private:
    void InsertColumns();
    void FreeComponents();
};
