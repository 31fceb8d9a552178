// The worker for http components. A file is published as a package: the manifest
// "pkginfo.txt" and parts file000.bin, file001.bin, ... each with a checksum. The fetch
// thread finds a working connection (description settings, browser proxy, direct, then
// the user's own settings), fetches the parts not already on disk intact, joins them
// into the requested file and checks the whole against the manifest.
#pragma once

#include "common/win32.h"
#include "transfer/connection_settings_win.h"
#include "transfer/http_client_win.h"
#include "transfer/publisher_key.h"
#include "transfer/sha256_text.h"
#include "transfer/transfer_worker_win.h"

constexpr size_t httpRemotePathSize = 1000;

// Pauses of the fetch thread; tests shorten them, the product keeps these values.
struct HttpWorkerTiming {
    unsigned suspendPollMilliseconds;        // how often a suspended fetch looks again
    unsigned firstRetryPauseMilliseconds;    // pause after a part's first failed fetch ...
    unsigned longestRetryPauseMilliseconds;  // ... doubling up to this
    // While no server has answered on any rung, the ladder is climbed again after a
    // pause from the first to the longest (doubling), for at most the total; zero
    // total: the user is asked at once.
    unsigned firstNetworkPauseMilliseconds;
    unsigned longestNetworkPauseMilliseconds;
    unsigned networkWaitMilliseconds;
    // How long the system's automatic proxy configuration may take on the browser's
    // rung; zero: it is not asked.
    unsigned autoProxyMilliseconds;
};
extern const HttpWorkerTiming productHttpWorkerTiming;

class HttpWorker : public TransferWorker {
public:
    HttpWorker();
    // Ends the worker's threads, which use the object.
    ~HttpWorker();
    // Aborts and waits for the worker's threads to return (or, after a bound, ends them).
    void EndThreads();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int Connect(const char* site, const char* proxy, const char* port) override;
    int Disconnect() override;
    int RequestFile(const char* remotePath, const char* localPath) override;
    void SetLogin(const char* user, const char* password) override;
    void SetProxyLogin(const char* newUser, const char* newPassword) override;
    bool VerifiedDigest(Sha256Digest& digest) const override;
    // Holds the fetch before its next part (and in its waits) until Release: the user
    // is asked whether to quit meanwhile.
    virtual void Hold();
    virtual void Release();
    // Ends the fetch for good at its next look (an open "HTTP Settings" dialog closes);
    // no report follows. The worker is not used for another file afterwards.
    virtual void Abort();
    // The fetch thread's pause: milliseconds, or less when the fetch is aborted meanwhile.
    // True when it is aborted.
    bool PauseUnlessAborted(DWORD milliseconds);
    // For the next RequestFile: the publisher's key as the description has it (empty: the
    // package need not be signed), the path of the file where it will be put and the
    // component's minVersion (empty: none). With a key, the package's signature and
    // digests are checked, its signed [package] section must name that file, give at least
    // that version and not have expired, and a file already in place that matches the
    // signed digest is kept instead of fetched again.
    void SetAuthenticity(const char* keyText, const char* finalPath, const char* minVersion);
    // The connection settings that worked, which the worker reads and fills in: the run's
    // (shared by its workers for the rest of the run) once named, else the worker's own.
    void UseConnectionSettings(ConnectionSettings* shared) {
        settings = shared != nullptr ? shared : &ownSettings;
    }
    ConnectionSettings& Settings() { return *settings; }

    char siteBase[httpFieldSize] = {};  // "host[:port]/", its scheme taken off
    bool siteSecure = false;            // the site was given as "https://..."

    char proxyHost[httpFieldSize] = {};
    char proxyPort[httpFieldSize] = {};
    char user[httpFieldSize] = {};
    char password[httpFieldSize] = {};
    char proxyUser[httpFieldSize] = {};
    char proxyPassword[httpFieldSize] = {};
    char remotePath[httpRemotePathSize] = {};
    char localPath[httpFieldSize] = {};
    char publisherKeyText[kPublisherKeyTextSize] = {};
    char finalPath[httpFieldSize] = {};
    char packageName[httpFieldSize] = {};  // the last element of finalPath
    char minVersionText[httpFieldSize] = {};
    // Written by the fetch thread before its "dl4" report: with a key in force, the signed
    // digest of the file it delivered.
    bool digestVerified = false;
    Sha256Digest verifiedDigest = {};
    // "host[:port]" of the last Connect: an empty description password keeps the one
    // stored before only for the same site.
    char loginHost[httpFieldSize] = {};
    bool passwordGiven = false;  // the last SetLogin brought a password of its own
    // Written by the user-interface thread, polled by the fetch thread.
    volatile LONG abortFlag = 0;
    volatile LONG holdFlag = 0;
    // Set with abortFlag, so that a pause of the fetch thread ends at once.
    HANDLE abortEvent = nullptr;
    HANDLE fileThread = nullptr;
    HANDLE connectThread = nullptr;

    HttpClientTimeouts clientTimeouts = productHttpTimeouts;
    HttpWorkerTiming timing = productHttpWorkerTiming;
    // How long the destructor waits for a thread that was told to end; one still running
    // then is ended by force and counted here (never on the normal way out).
    DWORD threadEndMilliseconds = 5000;
    int threadsEndedByForce = 0;

private:
    ConnectionSettings ownSettings = {};
    ConnectionSettings* settings = &ownSettings;
    static DWORD WINAPI ConnectThreadMain(LPVOID parameter);
    static DWORD WINAPI FetchThreadMain(LPVOID parameter);
    void FinishThread(HANDLE& thread, DWORD milliseconds);
    // Abort's work, also for the destructor, where a virtual call would not dispatch.
    void RaiseAbort();
    void TakeSiteLogin();
};
