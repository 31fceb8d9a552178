// The HTTP/1.0 client against real servers: nginx for files, Basic authentication,
// redirection chains and 404s, the scripted server for silence, broken bodies and odd
// heads. tests/servers/start runs them and writes servers\ports.ini beside this program.
#include "transfer/http_client_win.h"

#include "process_support.h"
#include "refused_port.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>

namespace {

// Short enough that every time-out test ends in seconds.
const HttpClientTimeouts testTimeouts = {300, 300, 20};

// The bytes the scripted server sends as a long body (see pattern() there).
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

class HttpClient : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
        servers = ModuleDirectory() + "\\servers";
        std::string ini = servers + "\\ports.ini";
        nginx = std::to_string(GetPrivateProfileIntA("servers", "nginx", 0, ini.c_str()));
        scripted = std::to_string(GetPrivateProfileIntA("servers", "scripted", 0, ini.c_str()));
        blackhole = std::to_string(GetPrivateProfileIntA("servers", "blackhole", 0, ini.c_str()));
        port80 = GetPrivateProfileIntA("servers", "port80", 0, ini.c_str()) != 0;
        ASSERT_NE("0", nginx) << "no test servers: run tests/servers/start <build>/servers";
        local = scratch.Path() + "\\fetched.bin";
    }
    void TearDown() override { WSACleanup(); }

    // Fetches target (a text as the worker builds it) into the local file.
    int Fetch(const std::string& target, const char* proxy = nullptr,
              const char* requestPath = nullptr,
              const HttpClientTimeouts& timeouts = testTimeouts) {
        ::HttpClient client(0, timeouts);
        if (!client.SetTarget(target.c_str(), proxy)) return -100;
        return client.GetFile(requestPath, local.c_str());
    }
    // Fetches target with a body limit into the local file.
    int FetchLimited(const std::string& target, long long limit) {
        ::HttpClient client(0, testTimeouts);
        if (!client.SetTarget(target.c_str(), nullptr)) return -100;
        client.SetBodyLimit(limit);
        return client.GetFile(nullptr, local.c_str());
    }
    std::string Served(const char* name) { return ReadWholeFile(servers + "\\www\\" + name); }
    std::string Fetched() { return ReadWholeFile(local); }

    std::string servers, nginx, scripted, blackhole, local;
    bool port80 = false;
    ScratchDirectory scratch;
};

// ctest-labels HttpClient: servers
TEST_F(HttpClient, FilesArriveByteIdentical) {
    const char* names[] = {"files/small.txt", "files/big.bin", "files/exact.bin",
                           "files/empty.bin"};
    for (const char* name : names) {
        ASSERT_EQ(0, Fetch("127.0.0.1:" + nginx + "/" + name)) << name;
        std::string expected = Served(name);
        EXPECT_NE("<missing>", expected);
        EXPECT_TRUE(Fetched() == expected) << name << ": " << Fetched().size() << " bytes";
    }
    // The same through the other address and with the scheme written out.
    ASSERT_EQ(0, Fetch("HTTP://127.0.0.2:" + nginx + "/files/small.txt"));
    EXPECT_EQ(Served("files/small.txt"), Fetched());
    // A request path replaces the target's.
    ASSERT_EQ(0, Fetch("127.0.0.1:" + nginx + "/nothing/here", nullptr, "/files/small.txt"));
    EXPECT_EQ(Served("files/small.txt"), Fetched());
}

TEST_F(HttpClient, DefaultPortWhenTheUrlHasNone) {
    if (!port80) GTEST_SKIP() << "nginx could not listen on 127.0.0.3:80";
    ASSERT_EQ(0, Fetch("127.0.0.3/files/small.txt"));
    EXPECT_EQ(Served("files/small.txt"), Fetched());
}

TEST_F(HttpClient, FailuresLeaveAnExistingFileUntouched) {
    const std::string paths[] = {
        "127.0.0.1:" + nginx + "/files/missing.txt",
        "127.0.0.1:" + nginx + "/chain/missing",
        "127.0.0.1:" + scripted + "/longhead",
        "127.0.0.1:" + scripted + "/nolocation",
    };
    for (const std::string& path : paths) {
        WriteWholeFile(local, "kept");
        EXPECT_EQ(-1, Fetch(path)) << path;
        EXPECT_EQ("kept", Fetched()) << path;
    }
}

TEST_F(HttpClient, BasicAuthentication) {
    struct Case {
        std::string credentials;
        int result;
    };
    const Case cases[] = {
        {"corvane:Tarrock-7@", 0}, {"corvane:wrong@", -1}, {"corvane@", -1}, {":@", -1}, {"", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, Fetch(c.credentials + "127.0.0.1:" + nginx + "/private/secret.txt"))
            << c.credentials;
    }
    EXPECT_EQ(Served("private/secret.txt"), Fetched());
}

TEST_F(HttpClient, RedirectionsAreFollowedSixTimesAtMost) {
    ::HttpClient client(0, testTimeouts);
    ASSERT_TRUE(client.SetTarget(("127.0.0.1:" + nginx + "/chain/1").c_str(), nullptr));
    ASSERT_EQ(0, client.GetFile(nullptr, local.c_str()));
    EXPECT_EQ(Served("files/small.txt"), Fetched());
    EXPECT_STREQ("127.0.0.1", client.Target()->host);
    EXPECT_STREQ("/files/small.txt", client.Target()->path);

    // Credentials do not follow a link to another address: nginx there asks for them.
    WriteWholeFile(local, "kept");
    EXPECT_EQ(-1, Fetch("corvane:Tarrock-7@127.0.0.1:" + nginx + "/chain/private"));
    EXPECT_EQ("kept", Fetched());

    ASSERT_EQ(0, Fetch("127.0.0.1:" + scripted + "/hops/6/0"));
    EXPECT_EQ("arrived after 6\n", Fetched());
    EXPECT_EQ(-1, Fetch("127.0.0.1:" + scripted + "/hops/7/0"));
}

TEST_F(HttpClient, RedirectionKeepsCredentialsAndDropsTheRequestPath) {
    ASSERT_EQ(0, Fetch("u:p@127.0.0.1:" + scripted + "/unused", nullptr, "/credentials"));
    std::string echoed = Fetched();
    EXPECT_EQ(0u, echoed.find("GET /echo/redirected HTTP/1.0\r\nAuthorization: Basic dTpw\r\n"))
        << echoed;
}

TEST_F(HttpClient, LocationHeaders) {
    // The request each Location leads to, as the scripted server echoes it.
    struct Case {
        const char* path;
        const char* request;
    };
    const Case cases[] = {
        {"/lowerlocation", "GET /echo/after-lower HTTP/1.0\r\n"},
        {"/noblank", "GET /echo/after-noblank HTTP/1.0\r\n"},
        {"/contentlocation", "GET /echo/right HTTP/1.0\r\n"},
        {"/relative", "GET /echo/relative HTTP/1.0\r\nAuthorization: Basic dTpw\r\n"},
        {"/pathrelative/start",
         "GET /pathrelative/arrived HTTP/1.0\r\nAuthorization: Basic dTpw\r\n"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(0, Fetch("u:p@127.0.0.1:" + scripted + c.path)) << c.path;
        EXPECT_EQ(0u, Fetched().find(c.request)) << c.path << ": " << Fetched();
    }

    // Too long for a request: refused, the target stays.
    ::HttpClient client(0, testTimeouts);
    ASSERT_TRUE(client.SetTarget(("127.0.0.1:" + scripted + "/longlocation").c_str(), nullptr));
    EXPECT_EQ(-1, client.GetFile(nullptr, local.c_str()));
    EXPECT_STREQ("/longlocation", client.Target()->path);
}

TEST_F(HttpClient, CredentialsStayWithTheirHost) {
    // A link to another host: the request there carries no Authorization line.
    ASSERT_EQ(0, Fetch("u:p@127.0.0.1:" + scripted + "/crosshost"));
    EXPECT_EQ(
        "GET /echo/crosshost HTTP/1.0\r\nHost: 127.0.0.2\r\n"
        "Accept: image/gif, image/jpeg, image/pjpeg, */*\r\n"
        "Connection: keep-alive\r\n\r\n",
        Fetched());
}

// A connection the server keeps carries the next request; one it closes after promising
// to keep it, or drops while the next request is on it, costs only a new connection.
TEST_F(HttpClient, KeptConnectionsCarryTheNextRequest) {
    struct Case {
        const char* scenario;
        bool sentAhead;  // the second request goes out with OpenRequest before GetFile
        const char* second;
    };
    const Case cases[] = {
        {"kept", false, "connection 1 request 2\n"},
        {"kept", true, "connection 1 request 2\n"},
        {"closekept", false, "connection 2 request 1\n"},
        {"dropkept", false, "connection 2 request 1\n"},
        {"dropkept", true, "connection 2 request 1\n"},
    };
    int token = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scenario << (c.sentAhead ? " ahead" : ""));
        std::string target =
            "127.0.0.1:" + scripted + "/" + c.scenario + "/t" + std::to_string(++token);
        ::HttpClient client(0, testTimeouts);
        ASSERT_TRUE(client.SetTarget(target.c_str(), nullptr));
        ASSERT_EQ(0, client.GetFile(nullptr, local.c_str()));
        EXPECT_EQ("connection 1 request 1\n", Fetched());
        if (c.sentAhead) {
            ASSERT_TRUE(client.OpenRequest());
        }
        ASSERT_EQ(0, client.GetFile(nullptr, local.c_str()));
        EXPECT_EQ(c.second, Fetched());
    }
}

// A proxy offering Negotiate, NTLM and Basic gets the strongest log-on scheme, on one
// connection. Under Wine the user's own log-on is refused by the system itself, so the
// account given is what logs on; without one the proxy's refusal stands. A proxy that
// closes in the middle of the handshake fails the fetch, without a hang.
TEST_F(HttpClient, LogonProxies) {
    const std::string proxy = "corvane:Tarrock-7@127.0.0.1:" + scripted;
    ASSERT_EQ(0, Fetch("127.0.0.1:" + scripted + "/logon/a", proxy.c_str()));
    EXPECT_EQ(0u, Fetched().rfind("Negotiate ", 0)) << Fetched();
    EXPECT_NE(std::string::npos, Fetched().find("corvane connection 1")) << Fetched();

    const std::string wrong = "corvane:Tarrock-8@127.0.0.1:" + scripted;
    EXPECT_EQ(-1, Fetch("127.0.0.1:" + scripted + "/logon/b", wrong.c_str()));
    EXPECT_EQ(-1, Fetch("127.0.0.1:" + scripted + "/logon/c", ("127.0.0.1:" + scripted).c_str()));
    EXPECT_EQ(-1, Fetch("127.0.0.1:" + scripted + "/logondrop/d", proxy.c_str()));

    // An intranet server asking the same, with the site's account.
    ASSERT_EQ(0, Fetch("corvane:Tarrock-7@127.0.0.1:" + scripted + "/logon401/e"));
    EXPECT_EQ(0u, Fetched().rfind("Negotiate ", 0)) << Fetched();
    EXPECT_EQ(-1, Fetch("127.0.0.1:" + scripted + "/logon401/f"));
}

TEST_F(HttpClient, HeadsOfEveryShape) {
    ASSERT_EQ(0, Fetch("127.0.0.1:" + scripted + "/lfonly"));
    EXPECT_EQ("LF only body\n", Fetched());
    ASSERT_EQ(0, Fetch("127.0.0.1:" + scripted + "/trickle"));
    EXPECT_TRUE(Fetched() == Pattern(7000)) << Fetched().size();
    EXPECT_EQ(-1, Fetch("127.0.0.1:" + scripted + "/longhead"));
}

TEST_F(HttpClient, BrokenBodiesFail) {
    struct Case {
        const char* path;
        int result;
        size_t kept;
    };
    const Case cases[] = {
        {"/midclose", -1, 5000 - 43},     // Content-Length 100000, connection closed early
        {"/short", -1, 5},                // Content-Length 10, five bytes
        {"/midclose-nolength", 0, 5000},  // no Content-Length: the close ends the body
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, Fetch("127.0.0.1:" + scripted + c.path)) << c.path;
        EXPECT_EQ(c.kept, Fetched().size()) << c.path;
    }
}

// A body stops at the smaller of its Content-Length and the client's limit; one that goes
// on fails, and the local file never holds more than that.
TEST_F(HttpClient, BodiesStopAtTheirLengthAndTheLimit) {
    const long long big = static_cast<long long>(Served("files/big.bin").size());
    struct Case {
        std::string path;
        long long limit;
        int result;
        long long kept;  // bytes in the local file afterwards; -1: "kept" untouched
    };
    const Case cases[] = {
        {"/endless/100", -1, httpTooLong, -1},  // known too long in the first block
        {"/endless/5000", -1, httpTooLong, 5000},
        {"/endless/none", 10000, httpTooLong, 10000},
        {"/endless/5000", 3000, httpTooLong, -1},  // announced beyond the limit
        {"/endless/5000", 8000, httpTooLong, 5000},
        {"/endless/200000", -1, httpTooLong, 200000},    // ends inside the fourth 64 KiB block
        {"/endless/none", 131073, httpTooLong, 131073},  // one byte into the third block
        {"/midclose-nolength", 5000, httpOk, 5000},      // exactly the limit, then the close
        {"/midclose-nolength", 4999, httpTooLong, 4999},
        {"/short", 100, -1, 5},  // shorter than announced still fails
    };
    for (const Case& c : cases) {
        WriteWholeFile(local, "kept");
        EXPECT_EQ(c.result, FetchLimited("127.0.0.1:" + scripted + c.path, c.limit))
            << c.path << " " << c.limit;
        if (c.kept < 0) {
            EXPECT_EQ("kept", Fetched()) << c.path << " " << c.limit;
        } else {
            EXPECT_EQ(static_cast<size_t>(c.kept), Fetched().size()) << c.path << " " << c.limit;
        }
    }
    // Real files up to the limit arrive whole; one byte over is refused before writing.
    ASSERT_EQ(0, FetchLimited("127.0.0.1:" + nginx + "/files/big.bin", big));
    EXPECT_TRUE(Fetched() == Served("files/big.bin"));
    WriteWholeFile(local, "kept");
    EXPECT_EQ(httpTooLong, FetchLimited("127.0.0.1:" + nginx + "/files/big.bin", big - 1));
    EXPECT_EQ("kept", Fetched());
}

// A server that sends a byte now and then, never silent long enough for a time-out, is
// left once a window of the pace passes with too few bytes.
TEST_F(HttpClient, ATrickleIsLeftAtTheMinimumPace) {
    HttpClientTimeouts paced = testTimeouts;
    paced.paceWindowMilliseconds = 500;
    paced.paceMinimumBytes = 64;
    const char* drips[] = {"/drip/100", "/drip-head/100"};
    for (const char* path : drips) {
        DWORD start = GetTickCount();
        EXPECT_EQ(-1, Fetch("127.0.0.1:" + scripted + path, nullptr, nullptr, paced)) << path;
        EXPECT_LT(GetTickCount() - start, 3000u) << path;
    }
    // Real transfers keep well above it.
    ASSERT_EQ(0, Fetch("127.0.0.1:" + scripted + "/trickle", nullptr, nullptr, paced));
    EXPECT_TRUE(Fetched() == Pattern(7000)) << Fetched().size();
    ASSERT_EQ(0, Fetch("127.0.0.1:" + nginx + "/files/big.bin", nullptr, nullptr, paced));
    EXPECT_TRUE(Fetched() == Served("files/big.bin"));
}

// The error code of a local file that cannot be written, so that the caller can tell a
// full disk from a file in use or a place it may not write.
TEST_F(HttpClient, AFailedLocalWriteReportsItsErrorCode) {
    HANDLE held = CreateFileA(local.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    struct Case {
        std::string path;
        unsigned long error;
    };
    const Case cases[] = {
        {local, ERROR_SHARING_VIOLATION},
        {scratch.Path(), ERROR_ACCESS_DENIED},  // a directory
        {scratch.Path() + "\\missing\\file.bin", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        ::HttpClient client(0, testTimeouts);
        ASSERT_TRUE(client.SetTarget(("127.0.0.1:" + nginx + "/files/small.txt").c_str(), nullptr));
        EXPECT_EQ(httpWriteFailed, client.GetFile(nullptr, c.path.c_str())) << c.path;
        EXPECT_EQ(c.error, client.LastWriteError()) << c.path;
        EXPECT_TRUE(client.ServerAnswered()) << c.path;
    }
    CloseHandle(held);
}

// Whether anything came back from a server: any status counts; refusals, silence at the
// connect, and names that are not found do not.
TEST_F(HttpClient, WhetherAServerAnswered) {
    struct Case {
        std::string target;
        int result;
        bool answered;
    };
    const Case cases[] = {
        {"127.0.0.1:" + nginx + "/files/small.txt", 0, true},
        {"127.0.0.1:" + nginx + "/files/missing.txt", -1, true},
        {"127.0.0.1:" + scripted + "/longhead", -1, true},
        {"127.0.0.1:" + scripted + "/nolocation", -1, true},
        {"127.0.0.1:" + blackhole + "/x", -1, false},
        {"nothing.invalid:" + nginx + "/x", -1, false},
        {"127.0.0.1:1/x", -1, false},  // refused
    };
    for (const Case& c : cases) {
        ::HttpClient client(0, testTimeouts);
        ASSERT_TRUE(client.SetTarget(c.target.c_str(), nullptr));
        EXPECT_EQ(c.result, client.GetFile(nullptr, local.c_str())) << c.target;
        EXPECT_EQ(c.answered, client.ServerAnswered()) << c.target;
    }
}

TEST_F(HttpClient, SilenceRepeatsTheRequestABoundedNumberOfTimes) {
    std::string token = std::to_string(GetTickCount()) + "-" + std::to_string(rand());
    DWORD start = GetTickCount();
    EXPECT_EQ(-1, Fetch("127.0.0.1:" + scripted + "/silence/" + token));
    EXPECT_LT(GetTickCount() - start, 10000u);
    ASSERT_EQ(0, Fetch("127.0.0.1:" + scripted + "/count/" + token));
    EXPECT_EQ(std::to_string(maxReceiveTimeouts), Fetched());

    ASSERT_EQ(0, Fetch("127.0.0.1:" + scripted + "/silence-once/" + token));
    EXPECT_EQ("second answer\n", Fetched());
    // Silence in mid-body: the file is written again from its start.
    ASSERT_EQ(0, Fetch("127.0.0.1:" + scripted + "/stall-once/" + token));
    EXPECT_TRUE(Fetched() == Pattern(3 * 2048 + 100)) << Fetched().size();
}

TEST_F(HttpClient, ConnectionsThatFailOrHang) {
    // Refused: reported at once, even with the product's time-outs.
    std::string closed = RefusedPort();
    DWORD start = GetTickCount();
    EXPECT_EQ(-1, Fetch("127.0.0.1:" + closed + "/x", nullptr, nullptr, productHttpTimeouts));
    EXPECT_LT(GetTickCount() - start, 5000u);

    // Never accepted: seven attempts, each ending in its time-out.
    start = GetTickCount();
    EXPECT_EQ(-1, Fetch("127.0.0.1:" + blackhole + "/x"));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, maxConnectTimeouts * testTimeouts.connectMilliseconds - 100);
    EXPECT_LT(elapsed, 10000u);
}

TEST_F(HttpClient, ProxyRequests) {
    // nginx serves an absolute request line itself: the target host is never looked up.
    std::string proxy = "127.0.0.2:" + nginx;
    ASSERT_EQ(0, Fetch("downloads.invalid:" + nginx + "/files/small.txt", proxy.c_str()));
    EXPECT_EQ(Served("files/small.txt"), Fetched());

    proxy = "pu:pp@127.0.0.1:" + scripted;
    ASSERT_EQ(0, Fetch("u:p@origin.invalid:8080/echo/x", proxy.c_str()));
    // The whole request as the server read it: nothing after its one empty line.
    EXPECT_EQ(
        "GET http://origin.invalid:8080/echo/x HTTP/1.0\r\n"
        "Proxy-Authorization: Basic cHU6cHA=\r\n"
        "Authorization: Basic dTpw\r\n"
        "Host: origin.invalid\r\n"
        "Accept: image/gif, image/jpeg, image/pjpeg, */*\r\n"
        "Connection: keep-alive\r\n\r\n",
        Fetched());
}

TEST_F(HttpClient, TargetTextsThatDoNotFitAreRefused) {
    std::string longest = "127.0.0.1:" + nginx + "/files/small.txt?";
    longest += std::string(maxUrlTextLength - longest.size(), 'q');
    EXPECT_EQ(0, Fetch(longest));
    EXPECT_EQ(-100, Fetch(longest + "q"));
    std::string proxy(maxUrlTextLength + 1, 'p');
    EXPECT_EQ(-100, Fetch("127.0.0.1:" + nginx + "/files/small.txt", proxy.c_str()));
    ::HttpClient client(0, testTimeouts);
    EXPECT_EQ(-1, client.GetFile(nullptr, local.c_str()));
}

// Requests sent ahead: each GetFile takes the answer to its own client's request, whatever
// the order; a request path or a new target drops it; the body copy holds the whole body
// only where it fits.
TEST_F(HttpClient, RequestsSentAheadAndBodyCopies) {
    const std::string big = Served("files/big.bin"), small = Served("files/small.txt");
    ::HttpClient first(0, testTimeouts), second(0, testTimeouts);
    ASSERT_TRUE(first.SetTarget(("127.0.0.1:" + nginx + "/files/big.bin").c_str(), nullptr));
    ASSERT_TRUE(second.SetTarget(("127.0.0.1:" + nginx + "/files/small.txt").c_str(), nullptr));
    ASSERT_TRUE(first.OpenRequest());
    ASSERT_TRUE(second.OpenRequest());
    std::string copy(big.size(), '\0');
    first.SetBodyCopy(&copy[0], copy.size());
    second.SetBodyCopy(&copy[0], small.size() - 1);

    ASSERT_EQ(httpOk, second.GetFile(nullptr, local.c_str()));
    EXPECT_FALSE(second.HasOpenRequest());
    EXPECT_EQ(small, Fetched());
    size_t copied = 0;
    EXPECT_FALSE(second.BodyCopied(copied)) << "one byte more than the copy holds";

    ASSERT_EQ(httpOk, first.GetFile(nullptr, local.c_str()));
    EXPECT_TRUE(Fetched() == big);
    ASSERT_TRUE(first.BodyCopied(copied));
    EXPECT_EQ(big.size(), copied);
    EXPECT_TRUE(copy == big);

    // A request path asks for another file than the one requested ahead.
    ASSERT_TRUE(first.OpenRequest());
    ASSERT_EQ(httpOk, first.GetFile("/files/small.txt", local.c_str()));
    EXPECT_EQ(small, Fetched());
    ASSERT_TRUE(first.OpenRequest());
    ASSERT_TRUE(first.SetTarget(("127.0.0.1:" + scripted + "/short").c_str(), nullptr));
    EXPECT_FALSE(first.HasOpenRequest());
    // Nothing listens: no request is open, and GetFile fails as it would have.
    ASSERT_TRUE(first.SetTarget("127.0.0.1:1/files/small.txt", nullptr));
    EXPECT_FALSE(first.OpenRequest());
    EXPECT_EQ(httpError, first.GetFile(nullptr, local.c_str()));
}

}  // namespace
