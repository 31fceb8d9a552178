// The http worker fetching packages from the test nginx: whole downloads, resumption
// part by part, damaged parts, wrong totals, and the last rung of the connection
// ladder, where the user is asked for settings.
#include "connection_log.h"
#include "driver/person.h"
#include "package_support.h"
#include "process_support.h"
#include "transfer/http_worker_win.h"
#include "transfer/md5.h"
#include "transfer/messages_win.h"
#include "shell/resource_ids.h"
#include "shell/window_win.h"
#include "ui/prompt_dialogs_win.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// What the workers of one test found to work, as a run keeps it for its workers.
ConnectionSettings connectionSettings = {};

struct Reports {
    std::vector<std::pair<UINT, std::pair<WPARAM, LPARAM>>> received;
    int Count(UINT message) const {
        int n = 0;
        for (const auto& r : received) n += r.first == message;
        return n;
    }
    bool Has(UINT message) const { return Count(message) > 0; }
    WPARAM Last(UINT message) const {
        for (auto it = received.rbegin(); it != received.rend(); ++it)
            if (it->first == message) return it->second.first;
        return static_cast<WPARAM>(-1);
    }
    LPARAM LastParam(UINT message) const {
        for (auto it = received.rbegin(); it != received.rend(); ++it)
            if (it->first == message) return it->second.second;
        return -1;
    }
};
Reports* reports = nullptr;
// A worker held from within the report of its first part, as the controller's Quit
// question does.
HttpWorker* holdAtFirstPart = nullptr;

LRESULT CALLBACK NotifyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (reports != nullptr && (message == msgConnected || message == msgFileStarted ||
                               message == msgProgress || message == msgFileDone))
        reports->received.push_back({message, {wParam, lParam}});
    if (message == msgProgress && holdAtFirstPart != nullptr) {
        holdAtFirstPart->Hold();
        holdAtFirstPart = nullptr;
    }
    if (message == msgHttpSettingsWanted)
        return AskForHttpSettings(*reinterpret_cast<HttpSettingsRequest*>(lParam)) ? 1 : 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

class HttpPackage : public ::testing::Test {
protected:
    void SetUp() override {
        SetInstance(GetModuleHandleA(nullptr));
        InitCommonControls();
        WSADATA data;
        WSAStartup(MAKEWORD(1, 1), &data);
        std::string servers = ModuleDirectory() + "\\servers";
        port = GetPrivateProfileIntA("servers", "nginx", 0, (servers + "\\ports.ini").c_str());
        ASSERT_NE(0, port) << "the test servers are not running";
        accessLog = servers + "\\logs\\access.log";
        // The log outlives test runs: only what is written from now on counts.
        logStart = ReadWholeFile(accessLog).size();
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        name = info->name();
        published = servers + "\\www\\pkg\\" + name;
        CreateDirectoryA((servers + "\\www\\pkg").c_str(), nullptr);
        CreateDirectoryA(published.c_str(), nullptr);
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = NotifyProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "HttpPackageNotify";
        RegisterClassA(&windowClass);
        notify = CreateWindowExA(0, "HttpPackageNotify", "", 0, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        reports = &received;
        connectionSettings = ConnectionSettings();
    }
    void TearDown() override {
        reports = nullptr;
        DestroyWindow(notify);
        WSACleanup();
    }

    // Cuts content into parts of partSize on the server, with the manifest.
    std::string Publish(const std::string& content, size_t partSize,
                        const char* totalSum = nullptr) {
        PublishPackage(published, content, partSize, totalSum);
        return content;
    }

    // One Connect and RequestFile through a fresh worker; returns the dl4 code.
    int Fetch(HttpWorker& worker, const std::string& site, DWORD patience = 20000) {
        return FetchFrom(worker, site, "pkg/" + name + "/", patience);
    }
    int FetchFrom(HttpWorker& worker, const std::string& site, const std::string& remote,
                  DWORD patience = 20000) {
        worker.clientTimeouts = {2000, 3000, 50};
        worker.timing = {20, 20, 100, 0, 0, 0, 0};
        worker.UseConnectionSettings(&connectionSettings);
        worker.Create(notify);
        worker.SetLogin("", "");
        worker.SetProxyLogin("", "");
        worker.Connect(site.c_str(), "", "");
        Pump([&] { return received.Has(msgConnected); }, patience);
        if (received.Last(msgConnected) != 0) return -2;
        if (!worker.RequestFile(remote.c_str(), (work.Path() + "\\tmp.tmp").c_str())) return -3;
        Pump([&] { return received.Has(msgFileDone); }, patience);
        return received.Has(msgFileDone) ? static_cast<int>(received.Last(msgFileDone)) : -1;
    }
    template <typename Condition>
    void Pump(Condition done, DWORD milliseconds) {
        WaitUntil(done, milliseconds);
    }
    std::string Site() { return "127.0.0.1:" + std::to_string(port); }
    int Requests(const std::string& file) {
        std::string log = ReadWholeFile(accessLog).substr(logStart),
                    needle = "/pkg/" + name + "/" + file + " ";
        int n = 0;
        for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1))
            ++n;
        return n;
    }

    int port = 0;
    std::string name, published, accessLog;
    size_t logStart = 0;
    ScratchDirectory work;
    HWND notify = nullptr;
    Reports received;
};

}  // namespace

// ctest-labels HttpPackage: servers
TEST_F(HttpPackage, FetchesEveryPartAndJoinsThemByteForByte) {
    std::string content = Publish(PseudoRandomBytes(3 * 4096 + 1000, 7), 4096);
    HttpWorker worker;
    EXPECT_EQ(0, Fetch(worker, Site()));
    EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    EXPECT_EQ(static_cast<LPARAM>(content.size()), received.LastParam(msgFileStarted));
    EXPECT_EQ(4, received.Count(msgProgress));
    // Each report counts the bytes of the parts joined so far: the last one the total.
    EXPECT_EQ(static_cast<LPARAM>(content.size()), received.LastParam(msgProgress));
    EXPECT_EQ(1, connectionSettings.confirmed);
}

// From a server that keeps connections the manifest and every part come over the
// connections of the worker's part clients (four at most), each kept from part to part.
TEST_F(HttpPackage, PartsComeOverKeptConnections) {
    std::string content = Publish(PseudoRandomBytes(7 * 4096 + 10, 13), 4096);
    const std::string servers = ModuleDirectory() + "\\servers";
    const int keeping =
        GetPrivateProfileIntA("servers", "nginx_keepalive", 0, (servers + "\\ports.ini").c_str());
    ASSERT_NE(0, keeping);
    const std::string log = servers + "\\logs\\keepalive.log";
    const size_t start = ReadWholeFile(log).size();
    HttpWorker worker;
    EXPECT_EQ(0, Fetch(worker, "127.0.0.1:" + std::to_string(keeping)));
    EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    std::vector<int> connections =
        ConnectionsOfRequests(ReadWholeFile(log).substr(start), "/pkg/" + name + "/");
    EXPECT_EQ(9u, connections.size()) << "the manifest and eight parts, each asked once";
    std::vector<int> distinct = connections;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    EXPECT_LE(distinct.size(), 4u);
    EXPECT_LT(distinct.size(), connections.size()) << "no connection carried a second request";
}

TEST_F(HttpPackage, PartsAlreadyIntactAreNotFetchedAgain) {
    std::string content = Publish(PseudoRandomBytes(4 * 4096, 9), 4096);
    WriteWholeFile(work.Path() + "\\file000.bin", content.substr(0, 4096));
    WriteWholeFile(work.Path() + "\\file001.bin", "interrupted");  // damaged: fetched again
    WriteWholeFile(work.Path() + "\\file002.bin", content.substr(8192, 4096));
    // An earlier run's joined file, longer than this one: nothing of it may remain.
    WriteWholeFile(work.Path() + "\\tmp.tmp", PseudoRandomBytes(6 * 4096, 3));
    HttpWorker worker;
    EXPECT_EQ(0, Fetch(worker, Site()));
    EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    EXPECT_EQ(2, received.Count(msgProgress));
    EXPECT_EQ(0, Requests("file000.bin"));
    EXPECT_EQ(1, Requests("file001.bin"));
    EXPECT_EQ(0, Requests("file002.bin"));
    EXPECT_EQ(1, Requests("file003.bin"));
}

TEST_F(HttpPackage, AWrongTotalFailsAndKeepsTheParts) {
    Publish(PseudoRandomBytes(2 * 4096, 11), 4096, "12345");
    HttpWorker worker;
    EXPECT_EQ(4, Fetch(worker, Site()));
    EXPECT_TRUE(FileExists(work.Path() + "\\file000.bin"));
    EXPECT_TRUE(FileExists(work.Path() + "\\file001.bin"));
}

TEST_F(HttpPackage, ALaterPartLargerThanTheFirstFailsBeforeItIsFetched) {
    WriteWholeFile(published + "\\file000.bin", "abc");
    WriteWholeFile(published + "\\file001.bin", "abcdef");
    WriteWholeFile(published + "\\pkginfo.txt",
                   "[files]\r\nfile000.bin=3\r\nfile001.bin=6\r\n[sums]\r\nfile000.bin=" +
                       ChecksumText("abc") + "\r\nfile001.bin=" + ChecksumText("abcdef") +
                       "\r\ntotal_sum=" + ChecksumText("abcabcdef") + "\r\n");
    HttpWorker worker;
    EXPECT_EQ(4, Fetch(worker, Site()));
    EXPECT_EQ(0, Requests("file001.bin"));
}

TEST_F(HttpPackage, ADamagedPartOnTheServerIsRetriedABoundedNumberOfTimes) {
    Publish(PseudoRandomBytes(2 * 4096, 13), 4096);
    WriteWholeFile(published + "\\file001.bin",
                   PseudoRandomBytes(4096, 99));  // not what the manifest says
    HttpWorker worker;
    EXPECT_EQ(4, Fetch(worker, Site()));
    EXPECT_EQ(4, Requests("file001.bin"));
}

TEST_F(HttpPackage, TheUserIsAskedWhenNoRungWorksAndCancelEndsTheFile) {
    Publish("data", 4096);
    std::string site = "127.0.0.1:" + std::to_string(port) + "/no-such-dir";
    static bool cancelled;
    cancelled = false;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void*) -> DWORD {
            Person user(GetCurrentProcessId());
            HWND dialog = user.WaitForDialog("HTTP Settings", 20000);
            if (dialog != nullptr) cancelled = Person::Press(dialog, IDC_SECOND_CHOICE);
            return 0;
        },
        nullptr, 0, nullptr);
    HttpWorker worker;
    EXPECT_EQ(4, Fetch(worker, site));
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(0, connectionSettings.confirmed);
}

// Part files whose length differs from the size the manifest lists are bad, as a wrong
// checksum is: otherwise the checksum and the total would be taken over different bytes.
// Served or already on disk, such a part fails the file, its checksum listed right.
TEST_F(HttpPackage, APartOfAnotherLengthThanListedIsBad) {
    const std::string tail = PseudoRandomBytes(5000, 17);  // longer than the part buffer
    struct Case {
        const char* what;
        std::string served;  // file000.bin on the server
        int listed;
        bool onDisk;  // already in the work directory before the fetch
        int code;
    } cases[] = {
        {"as long as listed", "abcdef", 6, false, 0},
        {"longer than listed", "abcdef", 4, false, 4},
        {"longer than the part buffer", "wxyz" + tail, 4, false, 4},
        {"shorter than listed", "abc", 6, false, 4},
        {"on disk longer than listed", "abcdef", 4, true, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(published + "\\file000.bin", c.served);
        WriteWholeFile(published + "\\pkginfo.txt",
                       "[files]\r\nfile000.bin=" + std::to_string(c.listed) +
                           "\r\n[sums]\r\nfile000.bin=" + ChecksumText(c.served) +
                           "\r\ntotal_sum=" + ChecksumText(c.served.substr(0, c.listed)) + "\r\n");
        DeleteFileA((work.Path() + "\\file000.bin").c_str());
        if (c.onDisk) WriteWholeFile(work.Path() + "\\file000.bin", c.served);
        received.received.clear();
        HttpWorker worker;
        EXPECT_EQ(c.code, Fetch(worker, Site()));
        if (c.code == 0) {
            EXPECT_EQ(c.served, ReadWholeFile(work.Path() + "\\tmp.tmp"));
        }
    }
}

// A part whose every request breaks (half the body, then a reset) is requested a bounded
// number of times; the file then fails and the parts verified before stay.
TEST_F(HttpPackage, APartThatAlwaysBreaksStopsAfterBoundedAttempts) {
    std::string content = Publish(PseudoRandomBytes(3 * 4096, 19), 4096);
    std::string site = "127.0.0.1:" + std::to_string(TestServerPort("scripted"));
    std::string fault = "fault/reset.1.0/" + name + "/";
    std::string log = TestServersDirectory() + "\\logs\\fault_access.log";
    size_t start = ReadWholeFile(log).size();
    HttpWorker worker;
    EXPECT_EQ(4, FetchFrom(worker, site, fault, 60000));
    std::string requests = ReadWholeFile(log).substr(start);
    int count = 0;
    for (size_t at = requests.find("/" + fault + "file001.bin "); at != std::string::npos;
         at = requests.find("/" + fault + "file001.bin ", at + 1))
        ++count;
    EXPECT_EQ(8, count);
    EXPECT_EQ(content.substr(0, 4096), ReadWholeFile(work.Path() + "\\file000.bin"));
    EXPECT_EQ(0, Requests("file002.bin"));
}

// A local file that cannot be written for another reason than a full disk is reported as
// such (the dialog then says so), not as a full disk nor as a network failure.
TEST_F(HttpPackage, ALocalFileThatCannotBeWrittenIsReportedAsDenied) {
    std::string content = Publish(PseudoRandomBytes(2 * 4096, 23), 4096);
    struct Case {
        const char* what;
        bool holdOutput;  // tmp.tmp held open without sharing
        bool holdPart;    // file001.bin (damaged) held open without sharing
    } cases[] = {{"the joined file is in use", true, false},
                 {"a part file is in use", false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string part = work.Path() + "\\file001.bin";
        if (c.holdPart) WriteWholeFile(part, "damaged");
        std::string heldPath = c.holdOutput ? work.Path() + "\\tmp.tmp" : part;
        HANDLE held = CreateFileA(heldPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        received.received.clear();
        {
            HttpWorker worker;
            EXPECT_EQ(TransferWriteDenied, Fetch(worker, Site()));
        }
        CloseHandle(held);
        DeleteFileA(part.c_str());
    }
}

// Gaps in the manifest: numbering stops at the first missing part; a part without its
// checksum, or a manifest without total_sum, fails the file.
TEST_F(HttpPackage, GapsInTheManifest) {
    const std::string a = "first part", b = "second one", d = "fourth";
    WriteWholeFile(published + "\\file000.bin", a);
    WriteWholeFile(published + "\\file001.bin", b);
    WriteWholeFile(published + "\\file003.bin", d);
    const std::string sums = "file000.bin=" + ChecksumText(a) +
                             "\r\nfile001.bin=" + ChecksumText(b) +
                             "\r\nfile003.bin=" + ChecksumText(d) + "\r\n";
    struct Case {
        const char* what;
        std::string manifest;
        int code;
        std::string joined;
    } cases[] = {
        {"part 002 missing: 000 and 001 only",
         "[files]\r\nfile000.bin=10\r\nfile001.bin=10\r\nfile003.bin=6\r\n[sums]\r\n" + sums +
             "total_sum=" + ChecksumText(a + b) + "\r\n",
         0, a + b},
        {"a part without its checksum",
         "[files]\r\nfile000.bin=10\r\nfile001.bin=10\r\n[sums]\r\nfile000.bin=" + ChecksumText(a) +
             "\r\ntotal_sum=" + ChecksumText(a + b) + "\r\n",
         4, ""},
        {"no total_sum", "[files]\r\nfile000.bin=10\r\nfile001.bin=10\r\n[sums]\r\n" + sums, 4, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(published + "\\pkginfo.txt", c.manifest);
        received.received.clear();
        HttpWorker worker;
        EXPECT_EQ(c.code, Fetch(worker, Site()));
        if (c.code == 0) {
            EXPECT_EQ(c.joined, ReadWholeFile(work.Path() + "\\tmp.tmp"));
        }
    }
    EXPECT_EQ(0, Requests("file003.bin"));
}

// Hold() from within the report of the first part: the request for the next part,
// sent while the first arrived, is dropped and nothing more is requested while paused;
// Release carries the fetch to its end with one new request for it.
TEST_F(HttpPackage, HoldKeepsBackTheNextPartAndReleaseFinishes) {
    std::string content = Publish(PseudoRandomBytes(3 * 4096, 29), 4096);
    HttpWorker worker;
    holdAtFirstPart = &worker;
    worker.clientTimeouts = {2000, 3000, 50};
    worker.timing = {20, 20, 100, 0, 0, 0, 0};
    worker.UseConnectionSettings(&connectionSettings);
    worker.Create(notify);
    worker.SetLogin("", "");
    worker.SetProxyLogin("", "");
    worker.Connect(Site().c_str(), "", "");
    Pump([&] { return received.Has(msgConnected); }, 20000);
    std::string remote = "pkg/" + name + "/";
    ASSERT_TRUE(worker.RequestFile(remote.c_str(), (work.Path() + "\\tmp.tmp").c_str()));
    Pump([&] { return received.Has(msgProgress); }, 20000);
    int requestedAhead = Requests("file001.bin");
    EXPECT_GE(1, requestedAhead);
    Pump([] { return false; }, 1000);
    EXPECT_EQ(1, received.Count(msgProgress));
    EXPECT_EQ(requestedAhead, Requests("file001.bin"));
    EXPECT_FALSE(received.Has(msgFileDone));
    worker.Release();
    Pump([&] { return received.Has(msgFileDone); }, 20000);
    EXPECT_EQ(0, static_cast<int>(received.Last(msgFileDone)));
    EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    EXPECT_EQ(requestedAhead + 1, Requests("file001.bin"));
    holdAtFirstPart = nullptr;
}
