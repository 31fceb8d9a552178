// The FTP worker against real servers (Debian's pyftpdlib, with and without passive
// mode) and against the scripted FTP server, seen from a notify window that records
// every report as the controller's dialog would. tests/servers/start runs the servers
// on unprivileged ports of loopback addresses of their own and writes them to
// servers\ports.ini; the worker is made for that port.
#include "transfer/ftp_worker_win.h"
#include "transfer/messages_win.h"

#include "message_pump.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "package_support.h"
#include "process_support.h"

namespace {

const DWORD reportTimeout = 15000;
// Longer than the scripted server's pauses between the ends of a transfer, so that a
// report that should not come would have come.
const DWORD settleTime = 700;
const DWORD shortSilence = 1500;
// Short limits for the scripted server; its trickles bring 10 bytes a second.
const FtpTimeouts shortTimeouts = {shortSilence, 1000, 100};
const char identity[] = "installer@corvane.invalid";
const char ftpUser[] = "corvane";
const char ftpPassword[] = "Ftp-Pass-9";
const char noServer[] = "127.0.22.1";  // nothing listens on the servers' ports there

struct Report {
    UINT message;
    WPARAM code;
    LPARAM value;
};

std::vector<Report> reports;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == msgConnected || message == msgFileStarted || message == msgProgress ||
        message == msgFileDone || message == msgWaitingForNetwork || message == msgRunOver) {
        reports.push_back(Report{message, wParam, lParam});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int Count(UINT message) {
    int count = 0;
    for (const Report& report : reports)
        if (report.message == message) ++count;
    return count;
}

// The last report of a kind; message 0 when there was none.
Report Last(UINT message) {
    for (auto it = reports.rbegin(); it != reports.rend(); ++it)
        if (it->message == message) return *it;
    return Report{0, 0, 0};
}

// The first report of a kind; message 0 when there was none.
Report First(UINT message) {
    for (const Report& report : reports)
        if (report.message == message) return report;
    return Report{0, 0, 0};
}

// A server of ports.ini as "ADDRESS:PORT"; an empty address when it is not there.
struct Endpoint {
    std::string address;
    unsigned short port = 0;
};

Endpoint ServerEndpoint(const char* name) {
    char value[64];
    GetPrivateProfileStringA("servers", name, "", value, sizeof value,
                             (TestServersDirectory() + "\\ports.ini").c_str());
    Endpoint endpoint;
    const char* colon = strrchr(value, ':');
    if (colon == nullptr) return endpoint;
    endpoint.address.assign(value, static_cast<size_t>(colon - value));
    endpoint.port = static_cast<unsigned short>(atoi(colon + 1));
    return endpoint;
}

// The bytes the scripted server sends for a file of size bytes.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

class FtpTest : public ::testing::Test {
protected:
    explicit FtpTest(const char* serverName = "ftp_high")
        : endpoint(ServerEndpoint(serverName)), server(endpoint.address), worker(endpoint.port) {}

    void SetUp() override {
        if (server.empty())
            GTEST_SKIP() << "no FTP test servers: tests/servers/start runs them with "
                            "python3-pyftpdlib installed";
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(0x0101, &data));
        SetInstance(GetModuleHandleA(nullptr));
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "FtpWorkerTestNotify";
        RegisterClassA(&windowClass);
        notify = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 10, 10, nullptr,
                                 nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(nullptr, notify);
        reports.clear();
        ASSERT_TRUE(worker.Create(notify));
        local = scratch.Path() + "\\down\\tmp.tmp";
    }
    void TearDown() override {
        worker.Disconnect();
        if (notify != nullptr) DestroyWindow(notify);
        if (!server.empty()) WSACleanup();
    }
    // Logs in to host and returns the code of the one "dl1", or -1 when none came.
    int Login(const std::string& host, const char* user = "", const char* pass = "") {
        reports.clear();
        worker.SetLogin(user, pass);
        worker.Connect(host.c_str(), "proxy", "8080");
        if (!PumpUntil([] { return Count(msgConnected) > 0; }, reportTimeout)) return -1;
        PumpFor(50);
        EXPECT_EQ(1, Count(msgConnected));
        return static_cast<int>(Last(msgConnected).code);
    }

    // Requests a file and waits for its last report: "dl4", or "dl2" with a refusal.
    // Returns that report (message 0 when RequestFile refused or nothing came).
    Report Fetch(const std::string& remote, DWORD settle = settleTime) {
        reports.clear();
        if (!worker.RequestFile(remote.c_str(), local.c_str())) return Report{0, 0, 0};
        bool ended = PumpUntil(
            [] {
                return Count(msgFileDone) > 0 ||
                       (Count(msgFileStarted) > 0 && Last(msgFileStarted).code != 0) ||
                       Count(msgConnected) > 0;
            },
            reportTimeout);
        PumpFor(settle);
        if (!ended) return Report{0, 0, 0};
        EXPECT_EQ(
            1, Count(msgFileDone) + (Last(msgFileStarted).code != 0 ? 1 : 0) + Count(msgConnected))
            << "one last report per file";
        return reports.back().message == msgProgress ? Last(msgFileDone) : reports.back();
    }

    // The progress reports of the last file: after "dl2", rising, ending at the size.
    void ExpectProgressUpTo(size_t size) {
        bool sizeSeen = false;
        LPARAM previous = 0;
        for (const Report& report : reports) {
            if (report.message == msgFileStarted) sizeSeen = true;
            if (report.message != msgProgress) continue;
            EXPECT_TRUE(sizeSeen) << "progress before the size";
            EXPECT_EQ(0u, report.code);
            EXPECT_GT(report.value, previous);
            previous = report.value;
        }
        EXPECT_EQ(static_cast<LPARAM>(size), previous);
    }

    // Whether the worker holds nothing of a file any more: sockets and the local file.
    void ExpectDataSideClosed() {
        EXPECT_EQ(INVALID_SOCKET, worker.dataSocket);
        EXPECT_EQ(INVALID_SOCKET, worker.listenSocket);
        EXPECT_EQ(INVALID_HANDLE_VALUE, worker.localFile);
        // Nobody holds the file open: it can be deleted at once.
        EXPECT_TRUE(DeleteFileA(local.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND);
    }

    Endpoint endpoint;
    std::string server;
    HWND notify = nullptr;
    FtpWorker worker;
    ScratchDirectory scratch;
    std::string local;
};

class FtpWorkerTest : public FtpTest {};

class FtpActiveTest : public FtpTest {
protected:
    FtpActiveTest() : FtpTest("ftp_nopasv_high") {}
};

class FtpScripted : public FtpTest {
protected:
    FtpScripted() : FtpTest("ftp_scripted_high") {}
    // Every byte the scripted server received from the session of user.
    std::string Transcript(const std::string& user) {
        return ReadWholeFile(TestServersDirectory() + "\\ftp_scripted\\" + user + ".log");
    }
    void SetUp() override {
        FtpTest::SetUp();
        worker.timeouts = shortTimeouts;
    }

    struct TransferCase {
        const char* user;
        const char* file;
        UINT message;  // the last report
        WPARAM code;
        LPARAM size;      // announced in "dl2" 0 (when the last report is "dl4")
        size_t received;  // bytes in the local file; at most these when the transfer fails
        FtpState state;
    };
    // Fetches the case's file (logged in as its user) and checks its reports, the local
    // file and that nothing of the transfer stays open.
    void ExpectTransfer(const TransferCase& c) {
        std::string label = std::string(c.user) + " " + c.file;
        SCOPED_TRACE(label);
        if (worker.state != FtpState::LoggedIn || worker.user != std::string(c.user)) {
            ASSERT_EQ(TransferOk, Login(server, c.user, "p"));
        }
        Report last = Fetch(std::string("files/") + c.file);
        EXPECT_EQ(c.message, last.message);
        EXPECT_EQ(c.code, last.code);
        EXPECT_EQ(c.state, worker.state);
        EXPECT_EQ(0, Count(msgConnected));
        if (c.message == msgFileDone) {
            ASSERT_EQ(1, Count(msgFileStarted));
            EXPECT_EQ(0u, Last(msgFileStarted).code);
            EXPECT_EQ(c.size, Last(msgFileStarted).value);
        } else {
            EXPECT_EQ(0, Count(msgFileDone));
            EXPECT_EQ(0, Count(msgProgress));
        }
        if (c.code == TransferOk) ExpectProgressUpTo(c.received);
        // Data still on its way when a transfer fails is dropped with the data connection.
        std::string content = ReadWholeFile(local);
        if (c.code == TransferOk)
            EXPECT_EQ(c.received, content.size());
        else
            EXPECT_LE(content.size(), c.received);
        EXPECT_TRUE(content == Pattern(content.size()));
        ExpectDataSideClosed();
    }
};

std::string Served(const char* path) {
    return ReadWholeFile(TestServersDirectory() + "\\ftp\\" + path);
}

}  // namespace

// ctest-labels FtpWorkerTest: servers
TEST_F(FtpWorkerTest, AnonymousAndNamedLoginsFetchFilesOneAfterTheOther) {
    struct Case {
        const char* user;
        const char* password;
        std::vector<const char*> files;
    };
    const Case cases[] = {
        {"anonymous", identity, {"pub/small.txt", "pub/sub dir/inner.txt", "pub/empty.bin"}},
        {ftpUser, ftpPassword, {"pub/sub dir/inner.txt", "pub/small.txt"}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(TransferOk, Login(server, c.user, c.password)) << c.user;
        EXPECT_EQ(FtpState::LoggedIn, worker.state);
        EXPECT_STREQ(c.user, worker.user);
        // The login stays open for every file of the site.
        for (const char* file : c.files) {
            Report last = Fetch(file);
            EXPECT_EQ(msgFileDone, last.message) << file;
            EXPECT_EQ(TransferOk, last.code) << file;
            std::string expected = Served(file);
            ASSERT_EQ(1, Count(msgFileStarted)) << file;
            EXPECT_EQ(-1, Last(msgFileStarted).value) << file;  // this server announces no size
            ExpectProgressUpTo(expected.size());
            EXPECT_EQ(FtpState::LoggedIn, worker.state) << file;
            EXPECT_EQ(INVALID_HANDLE_VALUE, worker.localFile) << file;
            EXPECT_EQ(expected, ReadWholeFile(local)) << file;
        }
        EXPECT_EQ(1, worker.Disconnect());
        EXPECT_EQ(FtpState::NotConnected, worker.state);
        EXPECT_EQ(INVALID_SOCKET, worker.controlSocket);
        EXPECT_EQ(0, worker.Disconnect());
    }
}

TEST_F(FtpWorkerTest, AMultiMegabyteFileArrivesByteIdenticalInBlocks) {
    ASSERT_EQ(TransferOk, Login(server, "anonymous", identity));
    Report last = Fetch("pub/big.bin");
    EXPECT_EQ(msgFileDone, last.message);
    EXPECT_EQ(TransferOk, last.code);
    std::string expected = Served("pub/big.bin");
    ASSERT_GT(expected.size(), 3u * 1024 * 1024);
    ExpectProgressUpTo(expected.size());
    // Every block after the size came is reported; what arrived before it (all of it, on
    // a loaded machine) is reported once, as the first progress.
    size_t afterFirst = expected.size() - static_cast<size_t>(First(msgProgress).value);
    EXPECT_GE(Count(msgProgress), 1 + static_cast<int>(afterFirst / ftpDataBlockSize));
    EXPECT_TRUE(ReadWholeFile(local) == expected) << "the file differs";
}

TEST_F(FtpWorkerTest, ARefusedRetrieveKeepsTheLoginAndClosesTheFileAtOnce) {
    ASSERT_EQ(TransferOk, Login(server, "anonymous", identity));
    Report last = Fetch("pub/no-such-file.bin");
    EXPECT_EQ(msgFileStarted, last.message);
    EXPECT_EQ(TransferReceiveFailed, last.code);
    EXPECT_EQ(0, Count(msgFileDone));
    EXPECT_EQ(FtpState::LoggedIn, worker.state);
    ExpectDataSideClosed();
    // Still logged in: the next file comes over the same login.
    last = Fetch("pub/small.txt");
    EXPECT_EQ(TransferOk, last.code);
    EXPECT_EQ(Served("pub/small.txt"), ReadWholeFile(local));
}

TEST_F(FtpWorkerTest, RequestsOutsideTheLoginOrThatCannotStartAreRefused) {
    // Not connected: nothing is started.
    EXPECT_EQ(0, worker.RequestFile("pub/small.txt", local.c_str()));
    EXPECT_EQ(FtpState::NotConnected, worker.state);
    EXPECT_FALSE(FileExists(local));
    ASSERT_EQ(TransferOk, Login(server, "anonymous", identity));
    reports.clear();
    std::string tooLong(MAX_PATH, 'a');
    const char* refused[] = {"pub/small.txt\r\nDELE x", tooLong.c_str()};
    for (const char* remote : refused) {
        EXPECT_EQ(0, worker.RequestFile(remote, local.c_str()));
        EXPECT_EQ(FtpState::LoggedIn, worker.state);
    }
    PumpFor(200);
    EXPECT_TRUE(reports.empty());
    // The local file's missing directories are created.
    local = scratch.Path() + "\\a\\b\\c\\tmp.tmp";
    EXPECT_EQ(TransferOk, Fetch("pub/small.txt").code);
    EXPECT_EQ(Served("pub/small.txt"), ReadWholeFile(local));
}

TEST_F(FtpWorkerTest, ALocalFileThatCannotBeCreatedIsReportedAsNotWritable) {
    ASSERT_EQ(TransferOk, Login(server, "anonymous", identity));
    // Held open by another program without sharing; a directory where the file goes.
    CreateDirectoryA((scratch.Path() + "\\down").c_str(), nullptr);
    HANDLE held = CreateFileA(local.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const std::string targets[] = {local, scratch.Path()};
    for (const std::string& target : targets) {
        reports.clear();
        // Said at once (not out of disk space), and nothing is started.
        EXPECT_EQ(1, worker.RequestFile("pub/small.txt", target.c_str())) << target;
        ASSERT_EQ(1u, reports.size()) << target;
        EXPECT_EQ(msgFileDone, reports[0].message) << target;
        EXPECT_EQ(TransferWriteDenied, reports[0].code) << target;
        PumpFor(200);
        EXPECT_EQ(1u, reports.size()) << target;
        EXPECT_EQ(FtpState::LoggedIn, worker.state) << target;
    }
    CloseHandle(held);
    EXPECT_EQ(TransferOk, Fetch("pub/small.txt").code);
    EXPECT_EQ(Served("pub/small.txt"), ReadWholeFile(local));
}

TEST_F(FtpWorkerTest, ConnectIgnoresProxyAndPortAndDropsTheOldLogin) {
    ASSERT_EQ(TransferOk, Login(server, "anonymous", identity));
    // Connect while logged in starts over: a new lookup, a new control connection.
    ASSERT_EQ(TransferOk, Login(server, ftpUser, ftpPassword));
    EXPECT_EQ(TransferOk, Fetch("pub/small.txt").code);
    // Nothing listens on port 21 there: the connection fails.
    EXPECT_EQ(TransferLoginFailed, Login(noServer));
    EXPECT_EQ(FtpState::NotConnected, worker.state);
    PumpFor(settleTime);
    EXPECT_EQ(1u, reports.size());
    EXPECT_EQ(TransferLookupFailed, Login("no-such-host.invalid"));
}

// ctest-labels FtpActiveTest: servers
TEST_F(FtpActiveTest, WithoutPassiveModeTheServerConnectsToAListeningSocket) {
    ASSERT_EQ(TransferOk, Login(server, ftpUser, ftpPassword));
    const char* files[] = {"pub/big.bin", "pub/empty.bin", "pub/small.txt"};
    for (const char* file : files) {
        Report last = Fetch(file);
        EXPECT_EQ(msgFileDone, last.message) << file;
        EXPECT_EQ(TransferOk, last.code) << file;
        // This server announces the size in its preliminary reply.
        std::string expected = Served(file);
        EXPECT_EQ(static_cast<LPARAM>(expected.size()), Last(msgFileStarted).value) << file;
        ExpectProgressUpTo(expected.size());
        EXPECT_TRUE(ReadWholeFile(local) == expected) << file;
        EXPECT_EQ(INVALID_SOCKET, worker.listenSocket) << file;
    }
}

// ctest-labels FtpScripted: servers
TEST_F(FtpScripted, TheLoginWaitsForTheWholeGreetingAndSendsExactlyTheseBytes) {
    struct Case {
        const char* user;
        const char* password;
        const char* transcript;  // the server's name for the session
    };
    const Case cases[] = {
        // Empty values are sent as they are: the description names its login.
        {"", "", "empty"},
        {"anonymous", "", "anonymous"},
        {"plain", "S3cret pass", "plain"},
        {"split", "x", "split"},  // every reply in three segments
    };
    for (const Case& c : cases) {
        ASSERT_EQ(TransferOk, Login(server, c.user, c.password)) << c.transcript;
        Report last = Fetch("dir/data-5000.bin");
        EXPECT_EQ(TransferOk, last.code) << c.transcript;
        EXPECT_EQ(Pattern(5000), ReadWholeFile(local)) << c.transcript;
        worker.Disconnect();
        PumpFor(200);
        // USER once, after the last greeting line; no QUIT at the end.
        EXPECT_EQ(std::string("USER ") + c.user + "\r\nPASS " + c.password +
                      "\r\nTYPE I\r\nPASV\r\nRETR dir/data-5000.bin\r\n",
                  Transcript(c.transcript))
            << c.transcript;
    }
}

TEST_F(FtpScripted, LoginOutcomes) {
    struct Case {
        const char* user;
        int code;
        const char* transcript;
    };
    const Case cases[] = {
        // 230 to USER: logged in without a password.
        {"user230", TransferOk, "USER user230\r\nTYPE I\r\n"},
        {"refuse", TransferLoginFailed, "USER refuse\r\nPASS p\r\n"},
        // A reply that can never fit the reply buffer.
        {"longreply", TransferLoginFailed, "USER longreply\r\nPASS p\r\n"},
        // The server hangs up, or falls silent, instead of answering.
        {"close-pass", TransferLoginFailed, "USER close-pass\r\nPASS p\r\n"},
        {"silent-pass", TransferLoginFailed, "USER silent-pass\r\nPASS p\r\n"},
        // Preliminary replies without end, or a reply that trickles in, never complete
        // the login: each reply has its time from the command.
        {"endless1xx", TransferLoginFailed, "USER endless1xx\r\n"},
        {"trickle-pass", TransferLoginFailed, "USER trickle-pass\r\nPASS p\r\n"},
    };
    for (const Case& c : cases) {
        DWORD start = GetTickCount();
        EXPECT_EQ(c.code, Login(server, c.user, "p")) << c.user;
        EXPECT_LT(GetTickCount() - start, shortSilence + 3000) << c.user;
        if (c.code == TransferOk) {
            EXPECT_EQ(FtpState::LoggedIn, worker.state) << c.user;
        } else {
            // Nothing of the failed login stays open, and nothing more is reported.
            EXPECT_EQ(FtpState::NotConnected, worker.state) << c.user;
            EXPECT_EQ(INVALID_SOCKET, worker.controlSocket) << c.user;
            PumpFor(shortSilence + 300);
            EXPECT_EQ(1u, reports.size()) << c.user;
        }
        EXPECT_EQ(c.transcript, Transcript(c.user)) << c.user;
    }
}

TEST_F(FtpScripted, TransfersEndWithExactlyOneLastReport) {
    std::string decoyLog = TestServersDirectory() + "\\ftp_scripted\\decoy.log";
    DeleteFileA(decoyLog.c_str());
    const TransferCase cases[] = {
        {"plain", "data-5000.bin", msgFileDone, TransferOk, 5000, 5000, FtpState::LoggedIn},
        {"plain", "nosize-2000.bin", msgFileDone, TransferOk, -1, 2000, FtpState::LoggedIn},
        // The last run of digits counts, even in a file name (it limits nothing).
        {"plain", "file2.bin", msgFileDone, TransferOk, 2, 1000, FtpState::LoggedIn},
        // The final reply before and after the data connection's close.
        {"plain", "early226-9000.bin", msgFileDone, TransferOk, 9000, 9000, FtpState::LoggedIn},
        {"plain", "late226-9000.bin", msgFileDone, TransferOk, 9000, 9000, FtpState::LoggedIn},
        // The data first, then 150 and 226 in one segment.
        {"plain", "pair-7000.bin", msgFileDone, TransferOk, 7000, 7000, FtpState::LoggedIn},
        {"split", "late226-3000.bin", msgFileDone, TransferOk, 3000, 3000, FtpState::LoggedIn},
        // 227 without parentheses, or PASV refused: PORT instead.
        {"noparen", "data-6000.bin", msgFileDone, TransferOk, 6000, 6000, FtpState::LoggedIn},
        {"nopasv", "early226-70000.bin", msgFileDone, TransferOk, 70000, 70000, FtpState::LoggedIn},
        {"plain", "abort-8000.bin", msgFileDone, TransferReceiveFailed, 8000, 4000,
         FtpState::LoggedIn},
        // A final reply that can never fit the reply buffer fails the transfer.
        {"plain", "longfinal-1000.bin", msgFileDone, TransferReceiveFailed, 1000, 1000,
         FtpState::NotConnected},
        // The server falls silent, or hangs up, in the middle.
        {"plain", "silent-6000.bin", msgFileDone, TransferReceiveFailed, 6000, 3000,
         FtpState::NotConnected},
        {"plain", "closectl-6000.bin", msgFileDone, TransferReceiveFailed, 6000, 3000,
         FtpState::NotConnected},
        // Refusals: still logged in.
        {"plain", "missing", msgFileStarted, TransferReceiveFailed, 0, 0, FtpState::LoggedIn},
        {"refuse-port", "data-1000.bin", msgFileStarted, TransferReceiveFailed, 0, 0,
         FtpState::LoggedIn},
        // Hostile servers and third parties.
        // Fewer bytes than announced fail (more: below).
        {"plain", "short-5000.bin", msgFileDone, TransferReceiveFailed, 5000, 2500,
         FtpState::LoggedIn},
        // A byte every 100 ms is too slow for the injected minimum rate.
        {"plain", "trickle-1000.bin", msgFileDone, TransferReceiveFailed, 1000, 1000,
         FtpState::NotConnected},
        // The 227 names another address where something listens on the same port: the
        // data still comes from the server.
        {"elsewhere", "data-5000.bin", msgFileDone, TransferOk, 5000, 5000, FtpState::LoggedIn},
        // Someone else connects to the PORT address first: turned away, and the
        // server's data arrives.
        {"nopasv+intrude", "data-6000.bin", msgFileDone, TransferOk, 6000, 6000,
         FtpState::LoggedIn},
    };
    for (const TransferCase& c : cases) {
        DWORD start = GetTickCount();
        ExpectTransfer(c);
        EXPECT_LT(GetTickCount() - start, 2 * shortTimeouts.dataWindowMilliseconds + 3000)
            << c.file;
        if (std::string(c.user) == "noparen" || std::string(c.user) == "nopasv") {
            EXPECT_NE(std::string::npos, Transcript(c.user).find("\r\nPORT 127,0,0,1,")) << c.user;
        }
    }
    EXPECT_EQ("<missing>", ReadWholeFile(decoyLog)) << "the decoy was contacted";
}

// Announced 71 bytes, then data without end, also when the data comes first and the 150
// late: the transfer fails at once and what was written is deleted; before the 150 only a
// small amount is taken from the data connection at all.
TEST_F(FtpScripted, DataPastTheAnnouncedSizeFailsAndLeavesNoFile) {
    for (const char* file : {"endless-71.bin", "flood-71.bin"}) {
        SCOPED_TRACE(file);
        if (worker.state != FtpState::LoggedIn) {
            ASSERT_EQ(TransferOk, Login(server, "plain", "p"));
        }
        Report last = Fetch(std::string("files/") + file);
        EXPECT_EQ(msgFileDone, last.message);
        EXPECT_EQ(static_cast<WPARAM>(TransferReceiveFailed), last.code);
        EXPECT_EQ(71, Last(msgFileStarted).value);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(local.c_str())) << "the file stays";
        EXPECT_LE(worker.bytesReceived, static_cast<int>(ftpEarlyDataLimit));
        ExpectDataSideClosed();
    }
}

TEST_F(FtpScripted, AFailedWriteIsReportedOnceAsNotWritableAndNeverCompletes) {
    // The final reply comes after the data connection's close, well after the failure.
    const char* files[] = {"late226-20000.bin", "early226-20000.bin"};
    for (const char* file : files) {
        ASSERT_EQ(TransferOk, Login(server, "plain", "p")) << file;
        reports.clear();
        ASSERT_EQ(1, worker.RequestFile((std::string("files/") + file).c_str(), local.c_str()));
        // Every write is refused (access denied, not a full disk): the file is swapped
        // for a read-only handle.
        CloseHandle(worker.localFile);
        worker.localFile = CreateFileA(local.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, worker.localFile);
        ASSERT_TRUE(PumpUntil([] { return Count(msgFileDone) > 0; }, reportTimeout)) << file;
        PumpFor(settleTime);
        EXPECT_EQ(1, Count(msgFileDone)) << file;
        EXPECT_EQ(TransferWriteDenied, Last(msgFileDone).code) << file;
        EXPECT_EQ(0, Count(msgProgress)) << file;
        ExpectDataSideClosed();
        // The rest of the file is quietly over; the login stays.
        EXPECT_EQ(FtpState::LoggedIn, worker.state) << file;
        worker.Disconnect();
    }
}
