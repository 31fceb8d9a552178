// The worker for http components: remembers the site, proxy and log-in values and
// answers a Connect from a short connect thread. Fetching packages is not built yet:
// RequestFile starts nothing and refuses, so the controller ends the run.
#pragma once

#include "common/win32.h"
#include "transfer/transfer_worker_win.h"

constexpr size_t httpFieldSize = 260;
constexpr size_t httpRemotePathSize = 1000;

class HttpWorker : public TransferWorker {
public:
    HttpWorker() = default;
    // Waits for the worker's threads, which use the object, before it goes away.
    ~HttpWorker();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int Connect(const char* site, const char* proxy, const char* port) override;
    int Disconnect() override;
    int RequestFile(const char* remotePath, const char* localPath) override;
    void SetLogin(const char* user, const char* password) override;
    void SetProxyLogin(const char* proxyUser, const char* proxyPassword) override;
    // Nonzero suspends the fetch after the current part, zero aborts it.
    virtual void Pause(int flag);
    virtual void Resume();

    char siteBase[httpFieldSize] = {};
    char proxyHost[httpFieldSize] = {};
    char proxyPort[httpFieldSize] = {};
    char user[httpFieldSize] = {};
    char password[httpFieldSize] = {};
    char proxyUser[httpFieldSize] = {};
    char proxyPassword[httpFieldSize] = {};
    char remotePath[httpRemotePathSize] = {};
    char localPath[httpFieldSize] = {};
    // Written by the user-interface thread, polled by the fetch thread.
    volatile LONG abortFlag = 0;
    volatile LONG suspendFlag = 0;
    HANDLE fileThread = nullptr;
    HANDLE connectThread = nullptr;

private:
    static DWORD WINAPI ConnectThreadMain(LPVOID parameter);
    static void FinishThread(HANDLE& thread);
};
