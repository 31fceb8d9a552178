// The http worker: site and log-in values, the connect thread and the pause flags.
#include "transfer/http_worker_win.h"

#include "transfer/messages_win.h"

namespace {

const char httpScheme[] = "http://";
const size_t httpSchemeLength = sizeof(httpScheme) - 1;

}  // namespace

HttpWorker::~HttpWorker() {
    // A fetch thread stops at its next part once aborted; a suspended one would not.
    abortFlag = 1;
    suspendFlag = 0;
    FinishThread(fileThread);
    FinishThread(connectThread);
}

// Waits for a worker thread to end. The thread may be blocked in SendMessageA to a
// window of this (the user-interface) thread, which only returns once this thread
// takes the message, so sent messages are let through while waiting; posted ones stay
// queued for the regular loop.
void HttpWorker::FinishThread(HANDLE& thread) {
    if (thread == nullptr) return;
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + 1) break;
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    }
    CloseHandle(thread);
    thread = nullptr;
}

DWORD WINAPI HttpWorker::ConnectThreadMain(LPVOID parameter) {
    HttpWorker* worker = static_cast<HttpWorker*>(parameter);
    // A failed check is reported too: the controller would otherwise wait for ever.
    WPARAM result = worker->CheckWinSock() == 0 ? TransferOk : TransferLoginFailed;
    worker->Report(msgDl1, result, 0);
    return 0;
}

LRESULT HttpWorker::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return TransferWorker::WindowProc(message, wParam, lParam);
}

int HttpWorker::Connect(const char* site, const char* proxy, const char* port) {
    CopyText(proxyHost, proxy);
    CopyText(proxyPort, port);
    const char* host = strstr(site, httpScheme) != nullptr ? site + httpSchemeLength : site;
    // A site too long for the field is cut so that the closing "/" still fits.
    CopyTextN(siteBase, countof(siteBase) - 1, host);
    AppendText(siteBase, "/");

    // The handle is the only way to wait for a thread at the end, so the previous
    // thread (normally long over) is awaited before its handle is replaced.
    FinishThread(connectThread);
    connectThread = CreateThread(nullptr, 0, ConnectThreadMain, this, 0, nullptr);
    if (connectThread == nullptr) {
        Report(msgDl1, TransferLoginFailed, 0);
        return 0;
    }
    return 1;
}

int HttpWorker::Disconnect() { return 0; }

int HttpWorker::RequestFile(const char* remote, const char* local) {
    CopyText(remotePath, remote);
    CopyText(localPath, local);
    return 0;
}

void HttpWorker::SetLogin(const char* newUser, const char* newPassword) {
    CopyText(user, newUser);
    // An empty password keeps the one stored before.
    if (newPassword[0] != '\0') CopyText(password, newPassword);
}

void HttpWorker::SetProxyLogin(const char* newUser, const char* newPassword) {
    CopyText(proxyUser, newUser);
    if (newPassword[0] != '\0') CopyText(proxyPassword, newPassword);
}

void HttpWorker::Pause(int flag) {
    if (flag != 0)
        suspendFlag = 1;
    else
        abortFlag = 1;
}

void HttpWorker::Resume() {
    suspendFlag = 0;
    abortFlag = 0;
}
