// The transfer workers' hidden windows, host lookup and reports, seen from a notify
// window that records every report it receives, as the controller's dialog would.
#include <new>

#include "transfer/ftp_worker_win.h"
#include "transfer/http_worker_win.h"
#include "transfer/messages_win.h"
#include "transfer/password.h"
#include "transfer/transfer_worker_win.h"

#include "message_pump.h"
#include "refused_port.h"

#include <gtest/gtest.h>

namespace {

const char unresolvableHost[] = "no-such-host.invalid";
const DWORD reportTimeout = 5000;
// How long to go on pumping after the expected report, to see that no other follows.
const DWORD settleTime = 300;

struct Report {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

Report reports[64];
int reportCount = 0;

bool IsReport(UINT message) {
    return message == msgConnected || message == msgFileStarted || message == msgProgress ||
           message == msgFileDone || message == msgWaitingForNetwork || message == msgRunOver;
}

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsReport(message)) {
        if (reportCount < static_cast<int>(countof(reports)))
            reports[reportCount] = Report{message, wParam, lParam};
        ++reportCount;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int CountReports(UINT message) {
    int count = 0;
    for (int i = 0; i < reportCount && i < static_cast<int>(countof(reports)); ++i)
        if (reports[i].message == message) ++count;
    return count;
}

// A worker with the base's behaviour only.
class PlainWorker : public TransferWorker {
public:
    int Connect(const char*, const char*, const char*) override { return 0; }
    int Disconnect() override { return 0; }
    int RequestFile(const char*, const char*) override { return 0; }
};

class TransferWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(0x0101, &data));
        SetInstance(GetModuleHandleA(nullptr));
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "TransferWorkerTestNotify";
        RegisterClassA(&windowClass);
        notify = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 10, 10, nullptr,
                                 nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(nullptr, notify);
        reportCount = 0;
    }
    void TearDown() override {
        DestroyWindow(notify);
        WSACleanup();
    }

    // Waits until the worker's lookup is over.
    static bool AwaitLookup(TransferWorker& worker) {
        return PumpUntil([&] { return worker.lookupTask == nullptr; }, reportTimeout);
    }

    HWND notify = nullptr;
};

TEST_F(TransferWorkerTest, BothWorkersGetHiddenDownloaderWindows) {
    HttpWorker http;
    FtpWorker ftp;
    ASSERT_TRUE(http.Create(notify));
    ASSERT_TRUE(ftp.Create(notify));
    // The class exists now, so registering it again fails, as it did for the second worker.
    EXPECT_FALSE(RegisterWindowClass("Downloader", 0, nullptr, nullptr, nullptr, nullptr));

    TransferWorker* workers[] = {&http, &ftp};
    for (TransferWorker* worker : workers) {
        HWND window = worker->windowHandle;
        ASSERT_TRUE(IsWindow(window));
        char text[32] = {};
        GetClassNameA(window, text, sizeof(text));
        EXPECT_STREQ("Downloader", text);
        GetWindowTextA(window, text, sizeof(text));
        EXPECT_STREQ("Downloader", text);
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_NE(0, GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
        EXPECT_EQ(worker, ObjectFromWindow(window));
        EXPECT_EQ(notify, worker->notifyWindow);
    }
    EXPECT_NE(http.windowHandle, ftp.windowHandle);
}

TEST_F(TransferWorkerTest, ResolveHostRecordsTheOutcomeOfTheLookup) {
    struct Case {
        const char* host;
        bool resolved;
    };
    const Case cases[] = {{"localhost", true}, {unresolvableHost, false}};
    for (const Case& c : cases) {
        PlainWorker worker;
        ASSERT_TRUE(worker.Create(notify));
        worker.hostResolved = !c.resolved;
        ASSERT_TRUE(worker.ResolveHost(c.host)) << c.host;
        EXPECT_NE(nullptr, worker.lookupTask) << c.host;
        ASSERT_TRUE(AwaitLookup(worker)) << c.host;
        EXPECT_EQ(c.resolved, worker.hostResolved) << c.host;
        if (c.resolved) {
            const hostent* entry = reinterpret_cast<const hostent*>(worker.hostEntryBuffer);
            EXPECT_EQ(AF_INET, entry->h_addrtype);
            ASSERT_NE(nullptr, entry->h_addr_list[0]);
            EXPECT_EQ(127, static_cast<unsigned char>(entry->h_addr_list[0][0]));
        }
        EXPECT_EQ(0, reportCount) << "the base reports nothing of its own";
    }
}

TEST_F(TransferWorkerTest, LookupCompletionTakesTheErrorFromTheHighWord) {
    struct Case {
        WORD error;
        bool resolved;
    };
    const Case cases[] = {
        {0, true}, {WSAHOST_NOT_FOUND, false}, {WSANO_DATA, false}, {0x8000, false}};
    PlainWorker worker;
    ASSERT_TRUE(worker.Create(notify));
    for (const Case& c : cases) {
        worker.hostResolved = false;
        worker.lookupTask = reinterpret_cast<HANDLE>(1);
        LRESULT result = SendMessageA(worker.windowHandle, msgHostLookupDone, 1,
                                      static_cast<LPARAM>(WSAMAKEASYNCREPLY(200, c.error)));
        EXPECT_EQ(0, result) << c.error;
        EXPECT_EQ(c.resolved, worker.hostResolved) << c.error;
        EXPECT_EQ(nullptr, worker.lookupTask) << c.error;
    }
}

TEST_F(TransferWorkerTest, NothingIsReportedWithoutANotifyWindow) {
    {
        FtpWorker ftp(RefusedLoopbackPort());
        ASSERT_TRUE(ftp.Create(nullptr));
        // Resolved, then refused on a closed port of 127.0.0.1: nothing is reported.
        ASSERT_EQ(1, ftp.Connect("localhost", "", ""));
        ASSERT_TRUE(PumpUntil([&] { return ftp.state == FtpState::NotConnected; }, reportTimeout));
    }
    {
        HttpWorker http;
        ASSERT_TRUE(http.Create(nullptr));
        ASSERT_EQ(1, http.Connect("example.com", "", ""));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(http.connectThread, reportTimeout));
    }
    PumpFor(settleTime);
    EXPECT_EQ(0, reportCount);
}

TEST_F(TransferWorkerTest, HttpConnectReportsOnceFromItsThread) {
    HttpWorker http;
    ASSERT_TRUE(http.Create(notify));
    ASSERT_EQ(1, http.Connect("http://www.example.com/pub", "proxy.example.com", "8080"));
    ASSERT_TRUE(PumpUntil([] { return reportCount > 0; }, reportTimeout));
    PumpFor(settleTime);
    ASSERT_EQ(1, reportCount);
    EXPECT_EQ(msgConnected, reports[0].message);
    EXPECT_EQ(static_cast<WPARAM>(TransferOk), reports[0].wParam);
    EXPECT_EQ(0, reports[0].lParam);
    EXPECT_STREQ("proxy.example.com", http.proxyHost);
    EXPECT_STREQ("8080", http.proxyPort);

    // A second site: the previous thread is over, a new one reports again.
    ASSERT_EQ(1, http.Connect("files.example.com", "", ""));
    ASSERT_TRUE(PumpUntil([] { return reportCount > 1; }, reportTimeout));
    PumpFor(settleTime);
    EXPECT_EQ(2, CountReports(msgConnected));
    EXPECT_EQ(static_cast<WPARAM>(TransferOk), reports[1].wParam);
    EXPECT_STREQ("", http.proxyHost);
}

TEST_F(TransferWorkerTest, HttpConnectKeepsTheSiteWithoutSchemeAndEndsItWithASlash) {
    char longSite[400];
    memset(longSite, 'a', sizeof(longSite) - 1);
    longSite[sizeof(longSite) - 1] = '\0';
    struct Case {
        const char* site;
        const char* base;
    };
    const Case cases[] = {
        {"http://www.example.com/pub", "www.example.com/pub/"},
        {"www.example.com", "www.example.com/"},
        {"", "/"},
    };
    HttpWorker http;
    ASSERT_TRUE(http.Create(nullptr));
    for (const Case& c : cases) {
        http.Connect(c.site, "", "");
        EXPECT_STREQ(c.base, http.siteBase) << c.site;
    }
    // A site longer than the field is cut, and still ends with the slash.
    http.Connect(longSite, "", "");
    size_t length = strlen(http.siteBase);
    EXPECT_EQ(countof(http.siteBase) - 1, length);
    EXPECT_EQ('/', http.siteBase[length - 1]);
}

TEST_F(TransferWorkerTest, FtpConnectReportsTheOutcomeOfTheLookup) {
    struct Case {
        const char* site;
        WPARAM result;
        FtpState state;
    };
    // A resolved name goes on to the control connection, refused on a closed port of
    // 127.0.0.1; logins are tested against the FTP test servers (suites Ftp*).
    const Case cases[] = {
        {"localhost", TransferLoginFailed, FtpState::NotConnected},
        {unresolvableHost, TransferLookupFailed, FtpState::NotConnected},
    };
    for (const Case& c : cases) {
        reportCount = 0;
        FtpWorker ftp(RefusedLoopbackPort());
        ASSERT_TRUE(ftp.Create(notify));
        ASSERT_EQ(1, ftp.Connect(c.site, "proxy", "80")) << c.site;
        EXPECT_EQ(FtpState::AwaitingHostLookup, ftp.state) << c.site;
        ASSERT_TRUE(PumpUntil([] { return reportCount > 0; }, reportTimeout)) << c.site;
        PumpFor(settleTime);
        ASSERT_EQ(1, reportCount) << c.site;
        EXPECT_EQ(msgConnected, reports[0].message) << c.site;
        EXPECT_EQ(c.result, reports[0].wParam) << c.site;
        EXPECT_EQ(c.state, ftp.state) << c.site;
    }
}

TEST_F(TransferWorkerTest, FtpConnectWithoutAWindowReportsTheLookupFailureAtOnce) {
    FtpWorker ftp;
    ftp.notifyWindow = notify;  // the window could not be created
    EXPECT_EQ(0, ftp.Connect("localhost", "", ""));
    ASSERT_EQ(1, reportCount);
    EXPECT_EQ(msgConnected, reports[0].message);
    EXPECT_EQ(static_cast<WPARAM>(TransferLookupFailed), reports[0].wParam);
    EXPECT_EQ(FtpState::NotConnected, ftp.state);
}

TEST_F(TransferWorkerTest, FtpRequestsBeforeALoginAreRefusedWithoutReports) {
    FtpWorker ftp;
    ASSERT_TRUE(ftp.Create(notify));
    EXPECT_EQ(0, ftp.RequestFile("pub/", "C:\\temp\\tmp.tmp"));
    EXPECT_EQ(0, ftp.Disconnect());
    PumpFor(settleTime);
    EXPECT_EQ(0, reportCount);
}

TEST_F(TransferWorkerTest, EmptyLoginValues) {
    struct Case {
        const char* user;
        const char* password;
        const char* ftpUser;
        const char* ftpPassword;
    };
    const Case cases[] = {
        // The ftp worker takes both as given, empty ones included.
        {"", "", "", ""},
        {"bob", "", "bob", ""},
    };
    for (const Case& c : cases) {
        FtpWorker ftp;
        ftp.SetLogin(c.user, c.password);
        EXPECT_STREQ(c.ftpUser, ftp.user);
        EXPECT_STREQ(c.ftpPassword, ftp.password);
    }
    // The http worker unscrambles the description's passwords, and keeps the stored
    // one when it is given an empty one or one that does not unscramble.
    char secret[64], proxySecret[64];
    ASSERT_TRUE(ScramblePassword(reinterpret_cast<const unsigned char*>("secret"), 6, 17, 0x5B, 0,
                                 secret, sizeof secret));
    ASSERT_TRUE(ScramblePassword(reinterpret_cast<const unsigned char*>("proxysecret"), 11, 200,
                                 0x07, 0x1234, proxySecret, sizeof proxySecret));
    HttpWorker http;
    http.SetLogin("alice", secret);
    http.SetProxyLogin("proxyuser", proxySecret);
    EXPECT_STREQ("secret", http.password);
    EXPECT_STREQ("proxysecret", http.proxyPassword);
    http.SetLogin("bob", "");
    http.SetProxyLogin("", "abc");  // ends inside a group of four: does not unscramble
    EXPECT_STREQ("bob", http.user);
    EXPECT_STREQ("secret", http.password);
    EXPECT_STREQ("", http.proxyUser);
    EXPECT_STREQ("proxysecret", http.proxyPassword);
}

TEST_F(TransferWorkerTest, CheckWinSockFindsVersionOneOne) {
    PlainWorker worker;
    EXPECT_TRUE(worker.CheckWinSock());
    WSACleanup();  // the check leaves WinSock started once more
}

// The worker lives in storage the test controls: once it is destroyed the storage is
// overwritten, so a message still reaching the object would call through garbage.
template <typename Worker>
struct DoomedWorker {
    alignas(Worker) unsigned char storage[sizeof(Worker)];
    Worker* Make() { return new (storage) Worker(); }
    void Destroy(Worker* worker) {
        worker->~Worker();
        memset(storage, fill, sizeof(storage));
    }
    // Whether anything wrote into the object after its end.
    bool Untouched() const {
        for (unsigned char byte : storage)
            if (byte != fill) return false;
        return true;
    }
    static const unsigned char fill = 0xA5;
};

TEST_F(TransferWorkerTest, FtpWorkerDestroyedDuringItsLookupIsNeverReachedAgain) {
    const char* sites[] = {"localhost", unresolvableHost};
    for (const char* site : sites) {
        reportCount = 0;
        DoomedWorker<FtpWorker> doomed;
        FtpWorker* ftp = doomed.Make();
        ASSERT_TRUE(ftp->Create(notify));
        HWND window = ftp->windowHandle;
        ASSERT_EQ(1, ftp->Connect(site, "", ""));
        doomed.Destroy(ftp);
        EXPECT_FALSE(IsWindow(window)) << site;
        PumpFor(settleTime);
        EXPECT_EQ(0, reportCount) << site;
        EXPECT_TRUE(doomed.Untouched()) << site;
    }
}

TEST_F(TransferWorkerTest, HttpWorkerDestroyedWhileItsThreadReportsDoesNotDeadlock) {
    DoomedWorker<HttpWorker> doomed;
    HttpWorker* http = doomed.Make();
    ASSERT_TRUE(http->Create(notify));
    HWND window = http->windowHandle;
    ASSERT_EQ(1, http->Connect("www.example.com", "", ""));
    // Without pumping, the connect thread is soon blocked sending its report to this
    // thread's notify window; the destructor has to let the report through.
    Sleep(200);
    doomed.Destroy(http);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(1, CountReports(msgConnected));
    PumpFor(settleTime);
    EXPECT_EQ(1, reportCount);
}

}  // namespace
