// The transfer worker base: hidden window, asynchronous host lookup, WinSock check.
#include "transfer/transfer_worker_win.h"

#include "transfer/messages_win.h"

namespace {

const char workerClassName[] = "Downloader";
// The window is never shown; its size does not matter.
const int workerWindowSize = 10;
const WORD winSockVersion = MAKEWORD(1, 1);
// How long the end of a worker waits for a lookup it could not cancel.
const DWORD lookupDrainMilliseconds = 10000;
const DWORD lookupPollMilliseconds = 10;

}  // namespace

TransferWorker::~TransferWorker() {
    if (windowHandle == nullptr) return;
    FinishPendingLookup();
    DestroyWindow(windowHandle);
    windowHandle = nullptr;
}

// WinSock writes the host entry into hostEntryBuffer from its own thread before it
// posts "dli1", so a lookup still running must not be left behind: when the worker
// ends, the buffer would be written after the object is gone, and a new lookup would
// share the buffer with it. Cancelling is not enough where the cancel is not honoured
// (some WinSock implementations only pretend), so the completion is also awaited, for
// a bounded time, and discarded: a lookup that was really cancelled never posts.
void TransferWorker::FinishPendingLookup() {
    if (lookupTask == nullptr || windowHandle == nullptr) return;
    WSACancelAsyncRequest(lookupTask);
    DWORD start = GetTickCount();
    MSG message;
    for (;;) {
        if (PeekMessageA(&message, windowHandle, msgHostLookupDone, msgHostLookupDone, PM_REMOVE)) {
            if (reinterpret_cast<HANDLE>(message.wParam) == lookupTask) break;
            continue;
        }
        if (GetTickCount() - start >= lookupDrainMilliseconds) break;
        Sleep(lookupPollMilliseconds);
    }
    lookupTask = nullptr;
}

LRESULT TransferWorker::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == msgHostLookupDone) {
        lookupTask = nullptr;
        if (WSAGETASYNCERROR(lParam) == 0) hostResolved = true;
        return 0;
    }
    return Window::WindowProc(message, wParam, lParam);
}

void TransferWorker::SetLogin(const char*, const char*) {}

void TransferWorker::SetProxyLogin(const char*, const char*) {}

bool TransferWorker::VerifiedDigest(Sha256Digest&) const { return false; }

bool TransferWorker::Create(HWND notify) {
    // Both workers register the class; the second registration fails harmlessly.
    RegisterWindowClass(workerClassName, 0, nullptr, nullptr, nullptr, nullptr);
    CreateEx(workerClassName, workerClassName, 0, WS_EX_TOOLWINDOW, 0, 0, workerWindowSize,
             workerWindowSize, nullptr, nullptr);
    notifyWindow = notify;
    return windowHandle != nullptr;
}

bool TransferWorker::ResolveHost(const char* host) {
    FinishPendingLookup();
    hostResolved = false;
    // Without a window the completion could never be noticed nor awaited.
    if (windowHandle == nullptr) {
        lookupTask = nullptr;
        return false;
    }
    lookupTask = WSAAsyncGetHostByName(windowHandle, msgHostLookupDone, host, hostEntryBuffer,
                                       hostEntryBufferSize);
    return lookupTask != nullptr;
}

bool TransferWorker::CheckWinSock() {
    WSADATA data;
    if (WSAStartup(winSockVersion, &data) != 0) return false;
    if (data.wVersion != winSockVersion) {
        WSACleanup();
        return false;
    }
    return true;
}

LRESULT TransferWorker::Report(UINT message, WPARAM wParam, LPARAM lParam) {
    return notifyWindow != nullptr ? SendMessageA(notifyWindow, message, wParam, lParam) : 0;
}
