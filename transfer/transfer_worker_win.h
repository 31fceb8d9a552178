// The base of the two transfer workers: the hidden "Downloader" window every worker
// owns, the asynchronous host lookup whose completion arrives at that window, the
// WinSock check of the HTTP connect thread and the reports to the controller's window.
#pragma once

#include "common/win32.h"
#include "shell/window_win.h"
#include "transfer/sha256_text.h"

// WinSock's largest reply to an asynchronous host lookup.
constexpr int hostEntryBufferSize = 1024;

class TransferWorker : public Window {
public:
    TransferWorker() = default;
    // Not virtual: workers are members of the controller and end with it. The own
    // window goes first, so that nothing reaches this object once it is gone.
    ~TransferWorker();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual int Connect(const char* site, const char* proxy, const char* port) = 0;
    virtual int Disconnect() = 0;
    virtual int RequestFile(const char* remotePath, const char* localPath) = 0;
    virtual void SetLogin(const char* user, const char* password);
    virtual void SetProxyLogin(const char* proxyUser, const char* proxyPassword);
    // The signed digest of the file the last "dl4" reported, when the worker checked the
    // file against a signature; false when it checked none.
    virtual bool VerifiedDigest(Sha256Digest& digest) const;

    // Creates the hidden window and remembers the window that receives the reports.
    // True when the window exists.
    bool Create(HWND notify);
    // Starts the asynchronous lookup of host; "dli1" arrives at the own window when it
    // is over. False when WinSock refused to start it.
    bool ResolveHost(const char* host);
    // True when WinSock 1.1 is usable (and stays started).
    bool CheckWinSock();
    // Sends a report to the notify window and returns its answer; 0 when there is none.
    LRESULT Report(UINT message, WPARAM wParam, LPARAM lParam);

    HWND notifyWindow = nullptr;
    char hostEntryBuffer[hostEntryBufferSize] = {};
    HANDLE lookupTask = nullptr;
    bool hostResolved = false;

private:
    void FinishPendingLookup();
};
