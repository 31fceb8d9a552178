// Browser proxy discovery's text decisions: prefs.js lines as fgets hands them over,
// the preferences path, registry values and Internet Explorer's ProxyServer forms.
#include "transfer/proxy_discovery.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const char hostLine[] = "user_pref(\"network.proxy.http\", \"proxyhost\");\n";
const char portLine[] = "user_pref(\"network.proxy.http_port\", 8080);\n";

struct Found {
    PreferenceLine kind;
    std::string host, port;
};

// Parses a copy of line in a heap block of exactly its size, so that reading past its
// end shows under AddressSanitizer; buffers start as "keep".
Found Parse(const std::string& line, size_t hostSize = 260, size_t portSize = 260) {
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    std::vector<char> host(hostSize), port(portSize);
    snprintf(host.data(), hostSize, "keep");
    snprintf(port.data(), portSize, "keep");
    PreferenceLine kind =
        ParsePreferenceLine(text.data(), host.data(), hostSize, port.data(), portSize);
    return {kind, host.data(), port.data()};
}

// Hands text to a scan the way fgets does with a preferencesLineSize buffer.
Found Scan(const std::string& text) {
    char host[260] = "keep", port[260] = "keep";
    PreferencesScan scan(host, sizeof(host), port, sizeof(port));
    size_t at = 0;
    while (at < text.size()) {
        size_t take = 0;
        while (take < preferencesLineSize - 1 && at + take < text.size())
            if (text[at + take++] == '\n') break;
        std::vector<char> piece(text.begin() + at, text.begin() + at + take);
        piece.push_back('\0');
        scan.Feed(piece.data());
        at += take;
    }
    return {scan.HostFound() ? PreferenceLine::Host : PreferenceLine::Other, host, port};
}

}  // namespace

TEST(PreferenceLines, ProxyHostAndPortAndNothingElse) {
    using L = PreferenceLine;
    struct Case {
        L kind;
        const char *line, *value;
    } cases[] = {
        {L::Host, hostLine, "proxyhost"},
        {L::Port, portLine, "8080"},
        {L::Host, "user_pref(\"network.proxy.http\", \"proxyhost\")", "proxyhost"},
        {L::Host, "user_pref(\"network.proxy.http\", \"\");", ""},
        {L::Host, "user_pref(\"network.proxy.http\",\"proxyhost\");", "proxyhost"},
        {L::Host, "  user_pref ( \"network.proxy.http\" ,\t\"a b\" ) ;", "a b"},
        {L::Host, "user_pref(\"network.proxy.http\", \"proxyhost\"); // was \"old\"", "proxyhost"},
        {L::Host, "user_pref(\"network.proxy.http\", \"proxyhost\");\r\n", "proxyhost"},
        {L::Port, "\tuser_pref(\"network.proxy.http_port\",3128 );", "3128"},
        {L::Other, "// user_pref(\"network.proxy.http\", \"old\");", ""},
        {L::Other, " * user_pref(\"network.proxy.http\", \"old\");", ""},
        {L::Other, "pref(\"network.proxy.http\", \"x\");", ""},
        {L::Other, "user_prefs(\"network.proxy.http\", \"x\");", ""},
        {L::Other, "user_pref(\"my.network.proxy.http\", \"x\");", ""},
        {L::Other, "user_pref(\"network.proxy.https\", \"x\");", ""},
        {L::Other, "user_pref(\"network.proxy.ftp\", \"x\");", ""},
        {L::Other, "user_pref(\"network.proxy.http_port_x\", 1);", ""},
        {L::Other, "user_pref(\"network.proxy.http\", proxyhost);", ""},
        {L::Other, "user_pref(\"network.proxy.http\", \"proxyhost\";", ""},
        {L::Other, "user_pref(\"network.proxy.http\");", ""},
        {L::Other, "user_pref(\"network.proxy.http\", );", ""},
        {L::Other, "user_pref(\"network.proxy.http_port\", \"8080\");", ""},
        {L::Other, "user_pref(\"network.proxy.http_port\", -1);", ""},
        {L::Other, "user_pref(\"network.proxy.http_port\", 80 80);", ""},
        {L::Other, "", ""},
    };
    for (const Case& c : cases) {
        Found got = Parse(c.line);
        EXPECT_EQ(c.kind, got.kind) << c.line;
        EXPECT_EQ(c.kind == L::Host ? c.value : "keep", got.host) << c.line;
        EXPECT_EQ(c.kind == L::Port ? c.value : "keep", got.port) << c.line;
    }
}

TEST(PreferenceLines, EveryPrefixBeforeTheClosingParenthesisIsNothing) {
    for (const std::string line : {hostLine, portLine}) {
        size_t complete = line.find(')') + 1;
        for (size_t n = 0; n <= line.size(); ++n) {
            Found got = Parse(line.substr(0, n));
            EXPECT_EQ(n < complete, got.kind == PreferenceLine::Other) << n;
            if (n >= complete) continue;
            EXPECT_EQ("keep", got.host) << n;
            EXPECT_EQ("keep", got.port) << n;
        }
    }
}

TEST(PreferenceLines, ValuesThatDoNotFitAreRefusedNotCut) {
    EXPECT_EQ("proxyhost", Parse(hostLine, 10).host);
    EXPECT_EQ(PreferenceLine::Other, Parse(hostLine, 9).kind);
    EXPECT_EQ("keep", Parse(hostLine, 9).host);
    EXPECT_EQ("8080", Parse(portLine, 260, 5).port);
    EXPECT_EQ(PreferenceLine::Other, Parse(portLine, 260, 4).kind);
    EXPECT_EQ("kee", Parse(portLine, 260, 4).port);
}

TEST(PreferencesFile, LinesInTurnAndLongLinesIgnoredWhole) {
    const std::string header =
        "// Netscape User Preferences\n\n/* Do not edit this file.\n"
        " * user_pref(\"network.proxy.http\", \"commented\");\n */\n\n";
    const std::string pad257(257 - strlen(hostLine) + 1, ' ');
    const std::string longComment = "//" + std::string(300, '-');
    struct Case {
        std::string text;
        bool found;
        const char *host, *port;
    } cases[] = {
        {header + hostLine + portLine, true, "proxyhost", "8080"},
        {header + portLine + hostLine, true, "proxyhost", "8080"},
        {hostLine, true, "proxyhost", "keep"},
        {portLine, false, "keep", "8080"},
        {header, false, "keep", "keep"},
        {std::string(hostLine) + "user_pref(\"network.proxy.http\", \"later\");", true, "later",
         "keep"},
        // 257 characters and the line end fit in one read; one more does not.
        {pad257 + hostLine, true, "proxyhost", "keep"},
        {" " + pad257 + hostLine, false, "keep", "keep"},
        // The continuation of a long line is not a line of its own.
        {std::string(258, '/') + hostLine, false, "keep", "keep"},
        {longComment + "\n" + hostLine, true, "proxyhost", "keep"},
        {hostLine + std::string(portLine, strlen(portLine) - 1), true, "proxyhost", "8080"},
    };
    for (const Case& c : cases) {
        Found got = Scan(c.text);
        EXPECT_EQ(c.found, got.kind == PreferenceLine::Host) << c.text;
        EXPECT_EQ(c.host, got.host) << c.text;
        EXPECT_EQ(c.port, got.port) << c.text;
    }
}

TEST(PreferencesPath, UsersDirectoryBesideTheProgramDirectory) {
    const char* users = "D:\\Navigator\\Users\\default\\prefs.js";
    struct Case {
        const char *directory, *profile, *path;
    } cases[] = {
        {"D:\\Navigator\\Program", "default", users},
        {"D:\\Navigator\\Program\\", "default", users},
        {"D:\\Program", "Ann Lee", "D:\\Users\\Ann Lee\\prefs.js"},
        {"Program", "default", ""},
        {"\\\\", "default", ""},
        {"", "default", ""},
        {"D:\\Navigator\\Program", "", ""},
    };
    for (const Case& c : cases) {
        char path[preferencesPathSize] = "keep";
        EXPECT_EQ(c.path[0] != '\0',
                  BuildPreferencesPath(c.directory, c.profile, path, sizeof(path)))
            << c.directory;
        EXPECT_STREQ(c.path, path) << c.directory;
    }
    // "D:\" + "Users\" + profile + "\prefs.js" is 18 characters besides the profile.
    char path[preferencesPathSize];
    EXPECT_TRUE(
        BuildPreferencesPath("D:\\Program", std::string(241, 'p').c_str(), path, sizeof(path)));
    EXPECT_EQ(259u, strlen(path));
    EXPECT_FALSE(
        BuildPreferencesPath("D:\\Program", std::string(242, 'p').c_str(), path, sizeof(path)));
    EXPECT_STREQ("", path);
}

TEST(RegistryValues, SwitchesAreBinaryOne) {
    const unsigned char one[] = {1, 0, 0, 0}, two[] = {2, 0, 0, 0}, high[] = {1, 0, 0, 1};
    EXPECT_TRUE(IsSwitchOn(registryBinaryType, one, 4));
    EXPECT_TRUE(IsSwitchOn(registryBinaryType, one, 1));
    EXPECT_FALSE(IsSwitchOn(registryNumberType, one, 4));
    EXPECT_FALSE(IsSwitchOn(registryTextType, one, 4));
    EXPECT_FALSE(IsSwitchOn(registryBinaryType, two, 4));
    EXPECT_FALSE(IsSwitchOn(registryBinaryType, high, 4));
    EXPECT_FALSE(IsSwitchOn(registryBinaryType, one, 0));
}

TEST(RegistryValues, TextAndPortForms) {
    struct Case {
        uint32_t type;
        std::string bytes;
        size_t size;
        const char *text, *port;  // null: refused
    } cases[] = {
        {registryTextType, std::string("proxy\0", 6), 260, "proxy", "proxy"},
        {registryTextType, "proxy", 260, "proxy", "proxy"},  // stored without its NUL
        {registryExpandTextType, "%HOST%", 260, "%HOST%", "%HOST%"},
        {registryTextType, std::string("a\0b", 3), 260, "a", "a"},
        {registryTextType, "proxy", 6, "proxy", "proxy"},
        {registryTextType, "proxy", 5, nullptr, nullptr},
        {registryNumberType, std::string("\x90\x1f\0\0", 4), 260, nullptr, "8080"},
        {registryNumberType, std::string("\0\0\0\0", 4), 260, nullptr, "0"},
        {registryNumberType, "\xff\xff\xff\xff", 11, nullptr, "4294967295"},
        {registryNumberType, "\xff\xff\xff\xff", 10, nullptr, nullptr},
        {registryNumberType, "\x90\x1f", 260, nullptr, nullptr},
        {registryBinaryType, "\x90\x1f", 260, nullptr, "8080"},
        {registryBinaryType, std::string("\x90\x1f\0\0\0", 5), 260, nullptr, nullptr},
        {7, std::string("a\0\0", 3), 260, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(c.bytes.data());
        std::vector<char> out(c.size);
        EXPECT_EQ(c.text != nullptr,
                  TakeRegistryText(c.type, bytes, c.bytes.size(), out.data(), c.size));
        EXPECT_STREQ(c.text != nullptr ? c.text : "", out.data()) << c.bytes;
        EXPECT_EQ(c.port != nullptr,
                  TakeRegistryPort(c.type, bytes, c.bytes.size(), out.data(), c.size));
        EXPECT_STREQ(c.port != nullptr ? c.port : "", out.data()) << c.bytes;
    }
}

TEST(RegistryValues, ProxyServerForms) {
    struct Case {
        const char* value;
        bool ok;
        const char *host, *port;
    } cases[] = {
        {"proxyhost:8080", true, "proxyhost", "8080"},
        {"proxyhost", true, "proxyhost", ""},
        {"proxyhost:", true, "proxyhost", ""},
        {"", true, "", ""},
        {"http://p:8080", true, "http://p", "8080"},
        {"http=web:80;ftp=files:21", true, "web", "80"},
        {"ftp=files:21; HTTP=web:3128;https=safe:443", true, "web", "3128"},
        {"https=safe:443;http=web", true, "web", ""},
        {"ftp=files:21;https=safe:443", false, "", ""},
        {"abcdefghi:12345", true, "abcdefghi", "12345"},
        {"abcdefghij:1", false, "", ""},
        {"a:123456", false, "", ""},
    };
    for (const Case& c : cases) {
        char host[10] = "keep", port[6] = "keep";
        EXPECT_EQ(c.ok, SplitProxyServer(c.value, host, sizeof(host), port, sizeof(port)))
            << c.value;
        EXPECT_STREQ(c.host, host) << c.value;
        EXPECT_STREQ(c.port, port) << c.value;
    }
    // For an https target: the https entry where the list has one, else the http entry.
    const Case secureCases[] = {
        {"ftp=files:21; HTTP=web:3128;https=safe:443", true, "safe", "443"},
        {"http=web:80;ftp=files:21", true, "web", "80"},
        {"ftp=files:21;HTTPS=safe", true, "safe", ""},
        {"ftp=files:21", false, "", ""},
        {"single:8080", true, "single", "8080"},
    };
    for (const Case& c : secureCases) {
        char host[10] = "keep", port[6] = "keep";
        EXPECT_EQ(c.ok, SplitProxyServer(c.value, host, sizeof(host), port, sizeof(port), true))
            << c.value;
        EXPECT_STREQ(c.host, host) << c.value;
        EXPECT_STREQ(c.port, port) << c.value;
    }
}

TEST(RegistryValues, AutomaticConfigurationLists) {
    const struct {
        const char* text;
        std::vector<std::string> taken;  // "host port", or "DIRECT"
    } cases[] = {
        {"127.0.0.1:3128", {"127.0.0.1 3128"}},
        {"a:1;b:2", {"a 1", "b 2"}},
        {" a:1 ;  b:2 ; ", {"a 1", "b 2"}},
        {"PROXY a:1; PROXY b:2; DIRECT", {"a 1", "b 2", "DIRECT"}},
        {"direct", {"DIRECT"}},
        {"proxyhost", {"proxyhost "}},
        {"[::1]:3128", {"[::1] 3128"}},
        {"http=a:1;https=b:2;ftp=c:3", {"a 1"}},
        {"a:1;b:2;c:3;d:4;e:5", {"a 1", "b 2", "c 3", "d 4"}},
        {"", {}},
        {";;", {}},
    };
    for (const auto& c : cases) {
        ProxyCandidate found[maxProxyCandidates];
        const size_t count = SplitProxyList(c.text, found, maxProxyCandidates);
        std::vector<std::string> taken;
        for (size_t i = 0; i < count; ++i)
            taken.push_back(found[i].direct ? "DIRECT"
                                            : std::string(found[i].host) + " " + found[i].port);
        EXPECT_EQ(c.taken, taken) << c.text;
    }
    // A host longer than its field is left out, the next entry taken.
    const std::string longHost = std::string(proxyCandidateTextSize, 'h') + ":1;b:2";
    ProxyCandidate found[maxProxyCandidates];
    ASSERT_EQ(1u, SplitProxyList(longHost.c_str(), found, maxProxyCandidates));
    EXPECT_STREQ("b", found[0].host);
}
