// The client over TLS against nginx with certificates made for this run: a server the
// prefix trusts, and each kind of certificate and protocol that must be refused;
// redirections between http and https; a kept secure connection; tunnels through
// tinyproxy.
#include "transfer/http_client_win.h"

#include "connection_log.h"
#include "package_support.h"
#include "process_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const HttpClientTimeouts testTimeouts = {2000, 3000, 20};

class HttpsClient : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
        servers = TestServersDirectory();
        ASSERT_NE("0", Port("https")) << "no TLS test servers: run tests/servers/start";
        local = scratch.Path() + "\\fetched.bin";
    }
    void TearDown() override { WSACleanup(); }

    std::string Port(const char* name) { return std::to_string(TestServerPort(name)); }
    // Fetches target into the local file; refusal tells why a secure connection was not
    // made.
    int Fetch(const std::string& target, const char* proxy = nullptr) {
        ::HttpClient client(0, testTimeouts);
        if (!client.SetTarget(target.c_str(), proxy)) return -100;
        int result = client.GetFile(nullptr, local.c_str());
        refusal = client.TlsRefusalMade();
        return result;
    }
    std::string Served(const char* name) { return ReadWholeFile(servers + "\\www\\" + name); }
    std::string Fetched() { return ReadWholeFile(local); }

    std::string servers, local;
    TlsRefusal refusal = TlsRefusal::None;
    ScratchDirectory scratch;
};

}  // namespace

// ctest-labels HttpsClient: servers tls
TEST_F(HttpsClient, TrustedServerAndEveryRefusal) {
    struct Case {
        const char* server;
        const char* host;
        int result;
        TlsRefusal refusal;
    };
    const Case cases[] = {
        {"https", "localhost", httpOk, TlsRefusal::None},
        {"https_wronghost", "localhost", httpTlsRefused, TlsRefusal::WrongName},
        {"https_expired", "localhost", httpTlsRefused, TlsRefusal::Expired},
        {"https_selfsigned", "localhost", httpTlsRefused, TlsRefusal::Untrusted},
        {"https_untrusted", "localhost", httpTlsRefused, TlsRefusal::Untrusted},
        {"https_unknownissuer", "localhost", httpTlsRefused, TlsRefusal::Untrusted},
        {"https_tls10", "localhost", httpTlsRefused, TlsRefusal::NoAgreement},
    };
    for (const Case& c : cases) {
        DeleteFileA(local.c_str());
        std::string target =
            std::string("https://") + c.host + ":" + Port(c.server) + "/files/big.bin";
        EXPECT_EQ(c.result, Fetch(target)) << c.server;
        EXPECT_EQ(static_cast<int>(c.refusal), static_cast<int>(refusal)) << c.server;
        if (c.result == httpOk)
            EXPECT_EQ(Served("files\\big.bin"), Fetched()) << c.server;
        else
            EXPECT_FALSE(FileExists(local)) << c.server;
    }
}

TEST_F(HttpsClient, RedirectionsToHttpsAreFollowedAndBackToHttpRefused) {
    EXPECT_EQ(httpOk, Fetch("127.0.0.1:" + Port("nginx") + "/tohttps/small"));
    EXPECT_EQ(Served("files\\small.txt"), Fetched());
    DeleteFileA(local.c_str());
    EXPECT_EQ(httpTlsRefused, Fetch("https://localhost:" + Port("https") + "/tohttp/small"));
    EXPECT_EQ(static_cast<int>(TlsRefusal::Downgrade), static_cast<int>(refusal));
    EXPECT_FALSE(FileExists(local));
}

// A secure connection the server keeps carries the next request without a new handshake.
TEST_F(HttpsClient, AKeptSecureConnectionCarriesTheNextRequest) {
    const std::string log = servers + "\\logs\\https.log";
    const size_t start = ReadWholeFile(log).size();
    ::HttpClient client(0, testTimeouts);
    ASSERT_TRUE(client.SetTarget(
        ("https://localhost:" + Port("https") + "/files/small.txt").c_str(), nullptr));
    ASSERT_EQ(httpOk, client.GetFile(nullptr, local.c_str()));
    ASSERT_EQ(httpOk, client.GetFile("/files/exact.bin", local.c_str()));
    EXPECT_EQ(Served("files\\exact.bin"), Fetched());
    std::vector<int> connections =
        ConnectionsOfRequests(ReadWholeFile(log).substr(start), "GET /files/");
    ASSERT_EQ(2u, connections.size());
    EXPECT_EQ(connections[0], connections[1]);
}

TEST_F(HttpsClient, ThroughProxyTunnels) {
    const std::string target = "https://localhost:" + Port("https") + "/files/big.bin";
    const std::string open = "127.0.0.1:" + Port("proxy_open");
    const std::string withLogin = "corvane-proxy:Pellow-3@127.0.0.1:" + Port("proxy");
    const std::string wrongLogin = "corvane-proxy:wrong@127.0.0.1:" + Port("proxy");
    EXPECT_EQ(httpOk, Fetch(target, open.c_str()));
    EXPECT_EQ(Served("files\\big.bin"), Fetched());
    DeleteFileA(local.c_str());
    EXPECT_EQ(httpOk, Fetch(target, withLogin.c_str()));
    EXPECT_EQ(Served("files\\big.bin"), Fetched());
    // A tunnel the proxy refuses is a failed road, as a refused request is.
    EXPECT_EQ(httpError, Fetch(target, wrongLogin.c_str()));
    // The certificate is checked through the tunnel as it is directly.
    const std::string wrongHost =
        "https://localhost:" + Port("https_wronghost") + "/files/small.txt";
    EXPECT_EQ(httpTlsRefused, Fetch(wrongHost, open.c_str()));
    EXPECT_EQ(static_cast<int>(TlsRefusal::WrongName), static_cast<int>(refusal));
}
