// The http worker: site and log-in values, the connect thread, and the fetch thread,
// which runs one package fetch (package_fetch_win.cpp) for each requested file.
#include "transfer/http_worker_win.h"

#include "transfer/auto_proxy_win.h"
#include "transfer/messages_win.h"
#include "transfer/package_fetch_win.h"
#include "transfer/password.h"

const HttpWorkerTiming productHttpWorkerTiming = {
    1000, 1000, 30000, 1000, 30000, 120000, productAutoProxyMilliseconds};

namespace {

TransferResult TlsResult(TlsRefusal refusal) {
    switch (refusal) {
    case TlsRefusal::Unavailable:
        return TransferTlsUnavailable;
    case TlsRefusal::WrongName:
        return TransferCertificateWrongName;
    case TlsRefusal::Expired:
        return TransferCertificateExpired;
    case TlsRefusal::Untrusted:
        return TransferCertificateUntrusted;
    case TlsRefusal::Revoked:
        return TransferCertificateRevoked;
    case TlsRefusal::Downgrade:
        return TransferTlsDowngrade;
    default:
        return TransferTlsNoAgreement;
    }
}

TransferResult FetchResult(FetchOutcome outcome, TlsRefusal refusal) {
    switch (outcome) {
    case FetchTlsRefused:
        return TlsResult(refusal);
    case FetchDone:
        return TransferOk;
    case FetchDiskFull:
        return TransferDiskFull;
    case FetchWriteDenied:
        return TransferWriteDenied;
    case FetchNotAuthentic:
        return TransferNotAuthentic;
    case FetchKeyInvalid:
        return TransferKeyInvalid;
    case FetchCannotVerify:
        return TransferCannotVerify;
    case FetchWrongPackage:
        return TransferWrongPackage;
    case FetchPackageTooOld:
        return TransferPackageTooOld;
    case FetchPackageExpired:
        return TransferPackageExpired;
    case FetchPackageMalformed:
        return TransferPackageMalformed;
    default:
        return TransferReceiveFailed;
    }
}

}  // namespace

// Without its event the worker still works: its pauses then sleep their whole time.
HttpWorker::HttpWorker() : abortEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

HttpWorker::~HttpWorker() {
    EndThreads();
    if (abortEvent != nullptr) CloseHandle(abortEvent);
}

// An aborted fetch thread returns at its next check, within a second in every state (an
// open "HTTP Settings" dialog closes itself, pauses end at once, the client looks between
// short waits on its socket).
void HttpWorker::EndThreads() {
    RaiseAbort();
    FinishThread(fileThread, threadEndMilliseconds);
    FinishThread(connectThread, threadEndMilliseconds);
}

// Waits for a worker thread to end, at most about the given time. The thread may be
// blocked in SendMessageA to a window of this (the user-interface) thread, which only
// returns once this thread takes the message, so sent messages are let through while
// waiting; posted ones stay queued for the regular loop. Every wait of an aborted
// thread ends within a second but a host name lookup, which cannot be cancelled: a
// thread still running after the bound is ended, since the object it uses is about to go.
void HttpWorker::FinishThread(HANDLE& thread, DWORD milliseconds) {
    if (thread == nullptr) return;
    DWORD start = GetTickCount();
    for (;;) {
        DWORD spent = GetTickCount() - start;
        DWORD left = milliseconds == INFINITE ? INFINITE
                     : spent < milliseconds   ? milliseconds - spent
                                              : 0;
        DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_SENDMESSAGE);
        if (woken == WAIT_TIMEOUT) {
            (void)TerminateThread(thread, 1);  // nothing more can be done if this fails
            ++threadsEndedByForce;
            break;
        }
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
    WPARAM result = worker->CheckWinSock() ? TransferOk : TransferLoginFailed;
    worker->Report(msgConnected, result, 0);
    return 0;
}

DWORD WINAPI HttpWorker::FetchThreadMain(LPVOID parameter) {
    HttpWorker* worker = static_cast<HttpWorker*>(parameter);
    TlsRefusal refusal = TlsRefusal::None;
    FetchOutcome outcome = FetchFile(*worker, refusal);
    // The report is the thread's last use of the worker: the controller may request
    // the next file, and so replace this thread's handle, while handling it.
    if (outcome == FetchAborted) return 0;
    if (outcome == FetchKeptInPlace)
        worker->Report(msgFileDone, TransferOk, fileKeptInPlace);
    else
        worker->Report(msgFileDone, FetchResult(outcome, refusal), fileReceived);
    return 0;
}

LRESULT HttpWorker::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return TransferWorker::WindowProc(message, wParam, lParam);
}

int HttpWorker::Connect(const char* site, const char* proxy, const char* port) {
    const ConnectionSettings& s = *settings;
    CopyText(proxyHost, s.confirmed ? s.proxyHost : proxy);
    CopyText(proxyPort, s.confirmed ? s.proxyPort : port);
    // The scheme is taken off only where it begins the site; https makes it secure.
    siteSecure = IsSecureSite(site);
    const char* host = site + SiteSchemeLength(site);
    // A site too long for the field is cut so that the closing "/" still fits.
    CopyTextN(siteBase, countof(siteBase) - 1, host);
    AppendText(siteBase, "/");
    TakeSiteLogin();

    // The previous connect thread (long over) is awaited before its handle is replaced.
    FinishThread(connectThread, INFINITE);
    connectThread = CreateThread(nullptr, 0, ConnectThreadMain, this, 0, nullptr);
    if (connectThread == nullptr) {
        Report(msgConnected, TransferLoginFailed, 0);
        return 0;
    }
    return 1;
}

// The run ends: HTTP keeps no connection between files, but the fetch under way stops
// (and an open "HTTP Settings" dialog closes), as the run's window would otherwise wait
// for that dialog.
int HttpWorker::Disconnect() {
    Abort();
    return 0;
}

int HttpWorker::RequestFile(const char* remote, const char* local) {
    // The previous fetch thread has sent its last report, possibly the very one being
    // handled now; waiting for it here would wait for ourselves, so its handle is
    // only closed.
    if (fileThread != nullptr) CloseHandle(fileThread);
    fileThread = nullptr;
    if (!CopyText(remotePath, remote) || !CopyText(localPath, local)) return 0;
    fileThread = CreateThread(nullptr, 0, FetchThreadMain, this, 0, nullptr);
    return fileThread != nullptr ? 1 : 0;
}

// The description's login for the site of the next Connect, which decides what stays.
void HttpWorker::SetLogin(const char* newUser, const char* newPassword) {
    CopyText(user, newUser);
    // An empty password keeps the one stored before; so does one that does not unscramble.
    passwordGiven = newPassword[0] != '\0' && UnscramblePassword(newPassword, password);
}

// Credentials belong to the host and port they were given for: a password kept from
// before is dropped for another site, and confirmed settings bring their site login
// only to their own site (their proxy goes everywhere).
void HttpWorker::TakeSiteLogin() {
    char host[httpFieldSize];
    SiteHost(siteBase, host);
    if (!passwordGiven && !EqualsIgnoringCase(host, loginHost)) password[0] = '\0';
    const ConnectionSettings& s = *settings;
    if (s.confirmed && EqualsIgnoringCase(host, s.siteHost)) {
        CopyText(user, s.siteUser);
        CopyText(password, s.sitePassword);
    }
    CopyText(loginHost, host);
    passwordGiven = false;
}

bool HttpWorker::VerifiedDigest(Sha256Digest& digest) const {
    if (!digestVerified) return false;
    digest = verifiedDigest;
    return true;
}

void HttpWorker::SetProxyLogin(const char* newUser, const char* newPassword) {
    if (settings->confirmed) {
        CopyText(proxyUser, settings->proxyUser);
        CopyText(proxyPassword, settings->proxyPassword);
        return;
    }
    CopyText(proxyUser, newUser);
    if (newPassword[0] != '\0') UnscramblePassword(newPassword, proxyPassword);
}

void HttpWorker::Hold() { holdFlag = 1; }

void HttpWorker::Abort() { RaiseAbort(); }

void HttpWorker::RaiseAbort() {
    abortFlag = 1;  // also seen by an open "HTTP Settings" dialog, which closes
    if (abortEvent != nullptr) (void)SetEvent(abortEvent);  // else the pauses run out
}

bool HttpWorker::PauseUnlessAborted(DWORD milliseconds) {
    if (abortEvent == nullptr || WaitForSingleObject(abortEvent, milliseconds) == WAIT_FAILED)
        Sleep(milliseconds);
    return abortFlag != 0;
}

void HttpWorker::SetAuthenticity(const char* keyText, const char* path, const char* minVersion) {
    // A key too long for its field cannot be the key: it is kept cut, and fails to parse.
    CopyText(publisherKeyText, keyText);
    if (!CopyText(finalPath, path)) finalPath[0] = '\0';
    // Cut names and minimums fail the check rather than pass it: a cut name is no file's,
    // a cut number is no whole number.
    (void)CopyText(packageName, LastPathElement(path));
    if (!CopyText(minVersionText, minVersion)) CopyText(minVersionText, "-");
}

// An aborted fetch stays aborted: the run that aborted it is ending.
void HttpWorker::Release() { holdFlag = 0; }
