// The http worker's connection ladder against real proxies: the test servers' two tinyproxy
// instances (one asking for Basic credentials, one open) in front of the test nginx. Each
// rung is made to succeed in turn: the description's proxy, the browser's proxy from
// Internet Settings, the direct connection, and the settings typed into "HTTP Settings".
// The registry values touched are put back as they were, also when a test fails.
#include "driver/person.h"
#include "package_support.h"
#include "process_support.h"
#include "refused_port.h"
#include "common/run_log_win.h"
#include "transfer/base64.h"
#include "transfer/http_worker_win.h"
#include "transfer/md5.h"
#include "transfer/messages_win.h"
#include "transfer/password.h"
#include "shell/resource_ids.h"
#include "shell/window_win.h"
#include "ui/prompt_dialogs_win.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// What the workers of one test found to work, as a run keeps it for its workers.
ConnectionSettings connectionSettings = {};

const char settingsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char proxyUserName[] = "corvane-proxy";
const char proxyPasswordText[] = "Pellow-3";
const char siteUserName[] = "corvane";
const char sitePasswordText[] = "Tarrock-7";

// A value of Internet Settings, removed for the test and put back afterwards.
class SavedSetting {
public:
    explicit SavedSetting(const char* name, const char* keyName = settingsKey)
        : name(name), keyName(keyName) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
            return;
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            data.resize(size + 1);
            existed =
                RegQueryValueExA(key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
            data.resize(size);
        }
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
    ~SavedSetting() {
        HKEY key;
        if (RegCreateKeyA(HKEY_CURRENT_USER, keyName, &key) != ERROR_SUCCESS) return;
        if (existed)
            RegSetValueExA(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
        else
            RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
    SavedSetting(const SavedSetting&) = delete;
    SavedSetting& operator=(const SavedSetting&) = delete;

private:
    const char* name;
    const char* keyName;
    DWORD type = 0;
    std::vector<BYTE> data;
    bool existed = false;
};

void SetSetting(const char* name, DWORD type, const void* data, size_t size,
                const char* keyName = settingsKey) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, keyName, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data),
                                            static_cast<DWORD>(size)));
    RegCloseKey(key);
}

std::string Base64Text(const std::string& text) {
    char out[256];
    EXPECT_TRUE(Base64Encode(text.data(), text.size(), standardBase64Alphabet, out, sizeof out));
    return out;
}

std::string Scrambled(const char* password) {
    char out[512];
    EXPECT_TRUE(ScramblePassword(reinterpret_cast<const unsigned char*>(password), strlen(password),
                                 0x5A, 0x93, 0x1234, out, sizeof out));
    return out;
}

UINT lastDl1, lastDl4;
bool haveDl1, haveDl4;
std::vector<UINT> waitReports;  // wParam of every "dl5": seconds to the next climb

LRESULT CALLBACK NotifyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == msgConnected) haveDl1 = true, lastDl1 = static_cast<UINT>(wParam);
    if (message == msgFileDone) haveDl4 = true, lastDl4 = static_cast<UINT>(wParam);
    if (message == msgWaitingForNetwork) waitReports.push_back(static_cast<UINT>(wParam));
    // As the download dialog does: the settings dialog is this thread's.
    if (message == msgHttpSettingsWanted)
        return AskForHttpSettings(*reinterpret_cast<HttpSettingsRequest*>(lParam)) ? 1 : 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

// A log file of which only what is written after construction counts.
class LogTail {
public:
    LogTail() = default;
    explicit LogTail(const std::string& path) : path(path), start(ReadWholeFile(path).size()) {}
    int Count(const std::string& needle) const {
        std::string log = ReadWholeFile(path);
        log = log.size() > start ? log.substr(start) : std::string();
        int n = 0;
        for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1))
            ++n;
        return n;
    }

private:
    std::string path;
    size_t start = 0;
};

// What the person at the "HTTP Settings" dialog types; every later dialog is cancelled.
struct DialogAnswer {
    const char* siteUser;
    const char* sitePassword;
    const char* proxyHost;
    std::string proxyPort;
    const char* proxyUser;
    const char* proxyPassword;
    volatile LONG stop;
    int shown;
    bool typed;
    DWORD dialogThread;  // of the first dialog
};

void Type(HWND dialog, int id, const char* text) {
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

DWORD WINAPI AnswerDialogs(LPVOID parameter) {
    DialogAnswer& answer = *static_cast<DialogAnswer*>(parameter);
    Person user(GetCurrentProcessId());
    while (answer.stop == 0) {
        HWND dialog = user.WaitForDialog("HTTP Settings", 200);
        if (dialog == nullptr) continue;
        if (++answer.shown == 1) {
            answer.dialogThread = GetWindowThreadProcessId(dialog, nullptr);
            Type(dialog, IDC_SITE_USER, answer.siteUser);
            Type(dialog, IDC_SITE_PASSWORD, answer.sitePassword);
            Type(dialog, IDC_PROXY_HOST, answer.proxyHost);
            Type(dialog, IDC_PROXY_PORT, answer.proxyPort.c_str());
            Type(dialog, IDC_PROXY_USER, answer.proxyUser);
            Type(dialog, IDC_PROXY_PASSWORD, answer.proxyPassword);
            answer.typed = Person::Press(dialog, IDOK);
        } else {
            Person::Press(dialog, IDC_SECOND_CHOICE);
        }
        user.WaitUntilGone(dialog, 5000);
    }
    return 0;
}

class HttpLadder : public ::testing::Test {
protected:
    void SetUp() override {
        SetInstance(GetModuleHandleA(nullptr));
        InitCommonControls();
        WSADATA data;
        WSAStartup(MAKEWORD(1, 1), &data);
        servers = ModuleDirectory() + "\\servers";
        std::string ports = servers + "\\ports.ini";
        port = GetPrivateProfileIntA("servers", "nginx", 0, ports.c_str());
        proxyPort = std::to_string(GetPrivateProfileIntA("servers", "proxy", 0, ports.c_str()));
        openProxyPort =
            std::to_string(GetPrivateProfileIntA("servers", "proxy_open", 0, ports.c_str()));
        ASSERT_NE(0, port) << "the test servers are not running";
        ASSERT_NE("0", proxyPort) << "the test proxies are not running";
        ASSERT_NE("0", openProxyPort) << "the test proxies are not running";
        proxyLog = LogTail(servers + "\\logs\\proxy.log");
        openProxyLog = LogTail(servers + "\\logs\\proxy_open.log");
        accessLog = LogTail(servers + "\\logs\\access.log");
        name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = NotifyProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "HttpLadderNotify";
        RegisterClassA(&windowClass);
        notify = CreateWindowExA(0, "HttpLadderNotify", "", 0, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        haveDl1 = haveDl4 = false;
        waitReports.clear();
        connectionSettings = ConnectionSettings();
        site = Site();
        // Every ladder test also writes the run's log: none may leave a credential in it.
        logPath = work.Path() + "\\ladder.log";
        ASSERT_TRUE(OpenRunLog(("/Log=\"" + logPath + "\"").c_str()));
    }
    void TearDown() override {
        CloseRunLog();
        DestroyWindow(notify);
        WSACleanup();
        ExpectNoCredentialIn(ReadWholeFile(logPath));
    }

    static void ExpectNoCredentialIn(const std::string& log) {
        const std::string secrets[] = {sitePasswordText, proxyPasswordText, "Squid-Logon-4",
                                       Scrambled(sitePasswordText), Scrambled(proxyPasswordText)};
        const std::string pairs[] = {std::string(siteUserName) + ":" + sitePasswordText,
                                     std::string(proxyUserName) + ":" + proxyPasswordText,
                                     "corvane-squid:Squid-Logon-4"};
        for (const std::string& secret : secrets)
            EXPECT_EQ(std::string::npos, log.find(secret)) << secret << "\n" << log;
        for (const std::string& pair : pairs)
            EXPECT_EQ(std::string::npos, log.find(Base64Text(pair))) << pair << "\n" << log;
        EXPECT_EQ(std::string::npos, log.find("Authorization")) << log;
    }

    // Publishes content in parts of 4096 bytes below www\<area>\<test name>; returns the
    // remote directory as the worker is given it.
    std::string Publish(const std::string& area, const std::string& content) {
        PublishPackage(servers + "\\www\\" + area + "\\" + name, content, 4096);
        return area + "/" + name + "/";
    }

    // Connect with the description's proxy settings, then one RequestFile; returns the
    // dl4 code, or a negative number when the worker never got that far.
    // The site and its login are those of the members site, siteUser and sitePassword.
    int Fetch(HttpWorker& worker, const std::string& remote, const std::string& proxy,
              const std::string& proxyPortText, const char* proxyUser = "",
              const char* scrambledProxyPassword = "") {
        worker.clientTimeouts = {2000, 3000, 50};
        worker.timing = timing;
        worker.UseConnectionSettings(&connectionSettings);
        worker.Create(notify);
        worker.SetLogin(siteUser.c_str(), sitePassword.c_str());
        worker.SetProxyLogin(proxyUser, scrambledProxyPassword);
        haveDl1 = haveDl4 = false;
        worker.Connect(site.c_str(), proxy.c_str(), proxyPortText.c_str());
        WaitUntil([] { return haveDl1; }, 20000);
        if (!haveDl1 || lastDl1 != 0) return -2;
        return FetchAgain(worker, remote);
    }
    // Fetch through a worker of its own while a person answers "HTTP Settings" as told;
    // the worker's threads have ended when this returns.
    int FetchAnswering(DialogAnswer& answer, const std::string& remote) {
        HANDLE thread = CreateThread(nullptr, 0, AnswerDialogs, &answer, 0, nullptr);
        int result;
        {
            // A dialog shown again is cancelled, so the worker's threads can end here.
            HttpWorker worker;
            result = Fetch(worker, remote, "", "");
        }
        InterlockedExchange(&answer.stop, 1);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        return result;
    }
    // One more RequestFile on a worker already connected.
    int FetchAgain(HttpWorker& worker, const std::string& remote) {
        haveDl4 = false;
        if (!worker.RequestFile(remote.c_str(), (work.Path() + "\\tmp.tmp").c_str())) return -3;
        WaitUntil([] { return haveDl4; }, 30000);
        return haveDl4 ? static_cast<int>(lastDl4) : -1;
    }

    // Internet Settings naming a proxy; ProxyEnable is a 4-byte REG_BINARY switch.
    void SetBrowserProxy(const std::string& server) {
        const unsigned char on[4] = {1, 0, 0, 0};
        SetSetting("ProxyEnable", REG_BINARY, on, sizeof on);
        SetSetting("ProxyServer", REG_SZ, server.c_str(), server.size() + 1);
    }

    std::string Site() { return "127.0.0.1:" + std::to_string(port); }
    static std::string ScriptedSite() {
        return "127.0.0.1:" + std::to_string(TestServerPort("scripted"));
    }
    // How often a proxy's or nginx's log names a file of this test's package.
    static int Requests(const LogTail& log, const std::string& remote, const std::string& file) {
        return log.Count("/" + remote + file + " HTTP");
    }

    std::string servers, name, proxyPort, openProxyPort;
    std::string site, siteUser, sitePassword;
    // No waiting for the network, no automatic proxy configuration.
    HttpWorkerTiming timing = {20, 20, 100, 0, 0, 0, 0};
    int port = 0;
    LogTail proxyLog, openProxyLog, accessLog;
    ScratchDirectory work;
    std::string logPath;
    HWND notify = nullptr;
    // No browser proxy unless a test sets one; both values come back afterwards.
    SavedSetting savedEnable{"ProxyEnable"};
    SavedSetting savedServer{"ProxyServer"};
};

}  // namespace

// ctest-labels HttpLadder: servers
TEST_F(HttpLadder, TheDescriptionsProxyWithPortAndCredentialsCarriesTheWholeFetch) {
    std::string content = PseudoRandomBytes(2 * 4096 + 100, 21);
    std::string remote = Publish("pkg", content);
    HttpWorker worker;
    EXPECT_EQ(0, Fetch(worker, remote, "127.0.0.1", proxyPort, proxyUserName,
                       Scrambled(proxyPasswordText).c_str()));
    EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    // The manifest and all three parts went through the proxy that wants credentials.
    EXPECT_EQ(1, Requests(proxyLog, remote, "pkginfo.txt"));
    EXPECT_EQ(1, Requests(proxyLog, remote, "file002.bin"));
    EXPECT_STREQ("127.0.0.1", connectionSettings.proxyHost);
    EXPECT_EQ(proxyPort, connectionSettings.proxyPort);
    EXPECT_STREQ(proxyUserName, connectionSettings.proxyUser);
    EXPECT_STREQ(proxyPasswordText, connectionSettings.proxyPassword);
    EXPECT_EQ(1, connectionSettings.confirmed);
}

TEST_F(HttpLadder, ARefusedDescriptionProxyFallsToTheDirectRung) {
    std::string content = PseudoRandomBytes(4096 + 7, 22);
    std::string remote = Publish("pkg", content);
    HttpWorker worker;
    EXPECT_EQ(0, Fetch(worker, remote, "127.0.0.1", RefusedPort(), proxyUserName,
                       Scrambled(proxyPasswordText).c_str()));
    EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    EXPECT_EQ(1, Requests(accessLog, remote, "pkginfo.txt"));
    EXPECT_EQ(0, Requests(proxyLog, remote, "pkginfo.txt"));
    EXPECT_EQ(0, Requests(openProxyLog, remote, "pkginfo.txt"));
    EXPECT_STREQ("", connectionSettings.proxyHost);
    EXPECT_STREQ("", connectionSettings.proxyPort);
    EXPECT_STREQ("", connectionSettings.proxyUser);
    EXPECT_STREQ("", connectionSettings.proxyPassword);
    EXPECT_EQ(1, connectionSettings.confirmed);
}

TEST_F(HttpLadder, TheBrowsersProxyIsUsedWithoutCredentialsWhenTheDescriptionsFails) {
    std::string content = PseudoRandomBytes(2 * 4096, 23);
    std::string remote = Publish("pkg", content);
    SetBrowserProxy("127.0.0.1:" + openProxyPort);
    HttpWorker worker;
    EXPECT_EQ(0, Fetch(worker, remote, "127.0.0.1", RefusedPort(), proxyUserName,
                       Scrambled(proxyPasswordText).c_str()));
    EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    EXPECT_EQ(1, Requests(openProxyLog, remote, "pkginfo.txt"));
    EXPECT_EQ(1, Requests(openProxyLog, remote, "file001.bin"));
    EXPECT_EQ(0, Requests(proxyLog, remote, "pkginfo.txt"));
    EXPECT_STREQ("127.0.0.1", connectionSettings.proxyHost);
    EXPECT_EQ(openProxyPort, connectionSettings.proxyPort);
    EXPECT_EQ(1, connectionSettings.confirmed);
    // The worker itself now names the browser's proxy, without the description's login.
    EXPECT_STREQ("127.0.0.1", worker.proxyHost);
    EXPECT_EQ(openProxyPort, worker.proxyPort);
    EXPECT_STREQ("", worker.proxyUser);
    // Nor do the confirmed settings keep it: later components would send it there.
    EXPECT_STREQ("", connectionSettings.proxyUser);
    EXPECT_STREQ("", connectionSettings.proxyPassword);
}

TEST_F(HttpLadder, TheBrowsersProxyIsAskedWithoutTheDescriptionsCredentials) {
    // The browser names the proxy that wants credentials: its rung is refused with 407,
    // since the description's login is not offered to it, and the direct rung follows.
    std::string content = PseudoRandomBytes(4096, 25);
    std::string remote = Publish("pkg", content);
    SetBrowserProxy("127.0.0.1:" + proxyPort);
    HttpWorker worker;
    EXPECT_EQ(0, Fetch(worker, remote, "127.0.0.1", RefusedPort(), proxyUserName,
                       Scrambled(proxyPasswordText).c_str()));
    EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    EXPECT_EQ(1, Requests(proxyLog, remote, "pkginfo.txt"));
    EXPECT_EQ(0, Requests(proxyLog, remote, "file000.bin"));
    EXPECT_EQ(1, Requests(accessLog, remote, "pkginfo.txt"));
    EXPECT_EQ(1, Requests(accessLog, remote, "file000.bin"));
    EXPECT_STREQ("", connectionSettings.proxyHost);
    EXPECT_EQ(1, connectionSettings.confirmed);
}

TEST_F(HttpLadder, WhatIsTypedIntoHttpSettingsIsUsedAndKeptWhenNoOtherRungWorks) {
    // Behind Basic authentication and without credentials in the description, the first
    // three rungs are refused by nginx; the dialog supplies the site login and the proxy
    // that wants credentials.
    std::string content = PseudoRandomBytes(3 * 4096 - 5, 24);
    std::string remote = Publish("private", content);
    DialogAnswer answer = {siteUserName,
                           sitePasswordText,
                           "127.0.0.1",
                           proxyPort,
                           proxyUserName,
                           proxyPasswordText,
                           0,
                           0,
                           false,
                           0};
    EXPECT_EQ(0, FetchAnswering(answer, remote));
    EXPECT_TRUE(answer.typed);
    EXPECT_EQ(1, answer.shown);
    EXPECT_EQ(GetCurrentThreadId(), answer.dialogThread) << "shown by the notify window's thread";
    EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    EXPECT_EQ(1, Requests(proxyLog, remote, "pkginfo.txt"));
    EXPECT_EQ(1, Requests(proxyLog, remote, "file002.bin"));
    EXPECT_STREQ("127.0.0.1", connectionSettings.proxyHost);
    EXPECT_EQ(proxyPort, connectionSettings.proxyPort);
    EXPECT_STREQ(proxyUserName, connectionSettings.proxyUser);
    EXPECT_STREQ(proxyPasswordText, connectionSettings.proxyPassword);
    EXPECT_STREQ(siteUserName, connectionSettings.siteUser);
    EXPECT_STREQ(sitePasswordText, connectionSettings.sitePassword);
    EXPECT_EQ(1, connectionSettings.confirmed);
}

// A proxy that wants the user's Windows log-on and gets none it takes (under Wine the
// system has no log-on to give) takes the account typed into "HTTP Settings", through
// NTLM: squid's helper checks its answer to its own challenge.
TEST_F(HttpLadder, ALogonProxyTakesTheAccountTypedIntoHttpSettings) {
    std::string ports = servers + "\\ports.ini";
    std::string ntlmPort =
        std::to_string(GetPrivateProfileIntA("servers", "proxy_ntlm", 0, ports.c_str()));
    ASSERT_NE("0", ntlmPort) << "squid with NTLM is not running";
    LogTail helperLog(servers + "\\logs\\ntlm-helper.log");
    LogTail squidLog(servers + "\\logs\\squid-ntlm-access.log");
    std::string content = PseudoRandomBytes(2 * 4096 + 3, 31);
    std::string remote = Publish("private", content);
    DialogAnswer answer = {siteUserName,
                           sitePasswordText,
                           "127.0.0.1",
                           ntlmPort,
                           "corvane-squid",
                           "Squid-Logon-4",
                           0,
                           0,
                           false,
                           0};
    EXPECT_EQ(0, FetchAnswering(answer, remote));
    EXPECT_EQ(1, answer.shown);
    EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    EXPECT_LE(1, helperLog.Count("accepted\n"));
    EXPECT_EQ(0, helperLog.Count("wrong password"));
    EXPECT_EQ(1, squidLog.Count("/" + remote + "file002.bin corvane-squid "));
    // The log the fixture checks for credentials saw the whole climb.
    std::string log = ReadWholeFile(logPath);
    for (const char* logged : {"manifest, rung 'HTTP Settings': host 127.0.0.1", "through NTLM",
                               "HTTP Settings: new settings entered"})
        EXPECT_NE(std::string::npos, log.find(logged)) << logged << "\n" << log;
}

const char connectionsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// The browser's connection settings as Internet Explorer keeps them (the binary value
// WinHTTP's resolver reads): flags 1 direct, 4 a configuration script at scriptUrl.
void SetAutomaticConfiguration(unsigned flags, const std::string& scriptUrl) {
    std::string bytes;
    auto number = [&bytes](uint32_t n) {
        for (int i = 0; i < 4; ++i) bytes += static_cast<char>((n >> (8 * i)) & 0xFF);
    };
    number(0x46);
    number(1);
    number(flags);
    number(0);  // no proxy
    number(0);  // no bypass list
    number(static_cast<uint32_t>(scriptUrl.size()));
    bytes += scriptUrl + std::string(32, '\0');
    SetSetting("DefaultConnectionSettings", REG_BINARY, bytes.data(), bytes.size(), connectionsKey);
}

// The browser's automatic configuration (a PAC script named in its settings) on the
// browser's rung, after the description's proxy was refused: the proxy it names for the
// manifest's URL carries the fetch, DIRECT goes direct, and a script that cannot be
// fetched or fails to run lets the ladder go on to the direct rung.
// ctest-labels HttpLadderScript: servers
class HttpLadderScript : public HttpLadder {
protected:
    // script: the script's text ("@PROXY@" the open proxy's port), or null: none can be
    // fetched. Whether the fetch went through the open proxy.
    void FetchThroughScript(const char* script, bool viaOpenProxy) {
        SavedSetting savedConnections("DefaultConnectionSettings", connectionsKey);
        std::string url = "http://127.0.0.1:" + RefusedPort() + "/" + name + ".pac";
        if (script != nullptr) {
            std::string text = script;
            const size_t at = text.find("@PROXY@");
            if (at != std::string::npos) text.replace(at, 7, openProxyPort);
            WriteWholeFile(servers + "\\www\\files\\" + name + ".pac", text);
            url = "http://127.0.0.1:" + std::to_string(port) + "/files/" + name + ".pac";
        }
        SetAutomaticConfiguration(5, url);
        timing.autoProxyMilliseconds = 5000;
        std::string content = PseudoRandomBytes(4096 + 11, 40);
        std::string remote = Publish("pkg", content);
        HttpWorker worker;
        EXPECT_EQ(0, Fetch(worker, remote, "127.0.0.1", RefusedPort()));
        EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
        EXPECT_EQ(viaOpenProxy ? 1 : 0, Requests(openProxyLog, remote, "pkginfo.txt"));
        EXPECT_EQ(viaOpenProxy ? "127.0.0.1" : "", std::string(connectionSettings.proxyHost));
    }
};

TEST_F(HttpLadderScript, TheProxyItNamesForTheUrl) {
    FetchThroughScript(
        "function FindProxyForURL(url, host) {\n"
        "  if (shExpMatch(url, \"*/pkginfo.txt\")) return \"PROXY 127.0.0.1:@PROXY@\";\n"
        "  return \"DIRECT\";\n}\n",
        true);
}

TEST_F(HttpLadderScript, DirectGoesDirect) {
    FetchThroughScript("function FindProxyForURL(url, host) { return \"DIRECT\"; }\n", false);
}

TEST_F(HttpLadderScript, AScriptThatFailsLetsTheLadderGoOn) {
    FetchThroughScript("function FindProxyForURL(url, host) { throw \"no\"; }\n", false);
}

TEST_F(HttpLadderScript, AScriptThatCannotBeFetchedLetsTheLadderGoOn) {
    FetchThroughScript(nullptr, false);
}

// One 503 on the manifest sends the fetch down to the direct rung; the site still wants
// its login there, and for every part.
TEST_F(HttpLadder, TheDirectRungDropsTheProxyButKeepsTheSitesLogin) {
    std::string content = PseudoRandomBytes(2 * 4096 + 9, 26);
    Publish("pkg", content);
    std::string remote = "auth503/" + name + "/" + name + "/";
    std::string log = servers + "\\logs\\auth503.log";
    size_t logStart = ReadWholeFile(log).size();
    DialogAnswer answer = {"", "", "", "", "", "", 0, 1, false, 0};  // every dialog cancelled
    site = ScriptedSite();
    siteUser = siteUserName;
    sitePassword = Scrambled(sitePasswordText);
    EXPECT_EQ(0, FetchAnswering(answer, remote));
    EXPECT_EQ(1, answer.shown) << "the user was asked for settings";
    EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    std::string answers = ReadWholeFile(log).substr(logStart);
    EXPECT_EQ(std::string::npos, answers.find(" 401")) << answers;
    EXPECT_STREQ(siteUserName, connectionSettings.siteUser);
    EXPECT_STREQ(sitePasswordText, connectionSettings.sitePassword);
}

// A rung that did not bring the manifest leaves the worker's proxy as the description
// gave it: the next file of the component tries that proxy first again.
TEST_F(HttpLadder, ABrowserRungThatFailedLeavesTheWorkersProxyAsItWas) {
    struct Case {
        const char* what;
        bool browserProxy;
    } cases[] = {{"no browser proxy", false}, {"a browser proxy that refuses", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string content = PseudoRandomBytes(4096, 27);
        std::string remote = Publish("pkg", content);
        std::string descriptionPort = RefusedPort();
        if (c.browserProxy) SetBrowserProxy("127.0.0.1:" + RefusedPort());
        connectionSettings = ConnectionSettings();
        HttpWorker worker;
        EXPECT_EQ(0, Fetch(worker, remote, "127.0.0.1", descriptionPort, proxyUserName,
                           Scrambled(proxyPasswordText).c_str()));
        EXPECT_STREQ("127.0.0.1", worker.proxyHost);
        EXPECT_EQ(descriptionPort, worker.proxyPort);
        EXPECT_STREQ(proxyUserName, worker.proxyUser);
        EXPECT_STREQ(proxyPasswordText, worker.proxyPassword);
        EXPECT_STREQ("", connectionSettings.proxyHost);  // what worked: direct
    }
}

// Confirmed settings: their proxy is taken by every later site, their site login only by
// the same host and port; a password of an earlier component never goes to another site.
TEST_F(HttpLadder, ConfirmedSettingsBringTheProxyEverywhereAndTheLoginOnlyToItsSite) {
    struct Case {
        const char* what;
        const char* site;
        const char* user;  // the description's
        bool password;     // the description gives one ("Own-pass")
        const char* expectedUser;
        const char* expectedPassword;
    } cases[] = {
        {"the same site without login", "http://127.0.0.1:8001/other/", "", false, "confirmed",
         "secret"},
        {"the same site in other case", "LOCALHOST:8001", "", false, "confirmed", "secret"},
        {"another port without login", "127.0.0.1:8002", "", false, "", ""},
        {"another host without login", "127.0.0.2:8001/dir", "", false, "", ""},
        {"another site with its own login", "127.0.0.2:8001", "own", true, "own", "Own-pass"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        connectionSettings = ConnectionSettings();
        CopyText(connectionSettings.proxyHost, "proxy.example");
        CopyText(connectionSettings.proxyPort, "3128");
        CopyText(connectionSettings.siteUser, "confirmed");
        CopyText(connectionSettings.sitePassword, "secret");
        CopyText(connectionSettings.siteHost,
                 c.site[0] == 'L' ? "localhost:8001" : "127.0.0.1:8001");
        connectionSettings.confirmed = 1;
        HttpWorker worker;
        worker.UseConnectionSettings(&connectionSettings);
        worker.Create(notify);
        // An earlier component of another site left its login in the worker.
        worker.SetLogin("earlier", Scrambled("Earlier-pass").c_str());
        worker.Connect("127.0.0.9:8009", "", "");
        worker.SetLogin(c.user, c.password ? Scrambled("Own-pass").c_str() : "");
        worker.SetProxyLogin("", "");
        worker.Connect(c.site, "description.proxy", "8080");
        EXPECT_STREQ(c.expectedUser, worker.user);
        EXPECT_STREQ(c.expectedPassword, worker.password);
        EXPECT_STREQ("proxy.example", worker.proxyHost);
        EXPECT_STREQ("3128", worker.proxyPort);
    }
}

// Two http components: the first finds its way through the browser's proxy; the second,
// whose description names no proxy, takes over the confirmed settings and fetches
// through that proxy at once.
TEST_F(HttpLadder, ASecondComponentTakesOverTheConfirmedSettings) {
    std::string first = PseudoRandomBytes(4096 + 3, 28);
    std::string remote = Publish("pkg", first);
    SetBrowserProxy("127.0.0.1:" + openProxyPort);
    HttpWorker worker;
    ASSERT_EQ(0, Fetch(worker, remote, "127.0.0.1", RefusedPort()));
    ASSERT_EQ(1, connectionSettings.confirmed);

    std::string second = PseudoRandomBytes(2 * 4096, 29);
    PublishPackage(servers + "\\www\\pkg\\" + name + "-second", second, 4096);
    std::string secondRemote = "pkg/" + name + "-second/";
    SavedSetting noBrowserProxy{"ProxyEnable"};  // not found again: only the settings
    EXPECT_EQ(0, Fetch(worker, secondRemote, "", ""));
    EXPECT_EQ(second, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    EXPECT_EQ(1, Requests(openProxyLog, secondRemote, "pkginfo.txt"));
    EXPECT_EQ(1, Requests(openProxyLog, secondRemote, "file001.bin"));
}

// Nothing answers (a refused port on every rung): the ladder is climbed again after
// growing pauses, each second told to the controller, before the user is asked; a
// server that answers at all (here 404) is asked at once.
TEST_F(HttpLadder, WhileNothingAnswersTheLadderWaitsForTheNetworkBeforeAsking) {
    struct Case {
        const char* what;
        bool refused;
    } cases[] = {{"nothing answers", true}, {"a server answers 404", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        waitReports.clear();
        site = c.refused ? "127.0.0.1:" + RefusedPort() : Site() + "/no-such-dir";
        timing = {20, 20, 100, 1000, 2000, 4500, 0};  // pauses of 1 s, 2 s, then 1.5 s
        DialogAnswer answer = {"", "", "", "", "", "", 0, 1, false, 0};  // cancelled
        DWORD start = GetTickCount();
        EXPECT_EQ(4, FetchAnswering(answer, "pkg/"));
        DWORD spent = GetTickCount() - start;
        EXPECT_EQ(2, answer.shown);  // the dialog came (and was cancelled)
        if (c.refused) {
            std::vector<UINT> expected = {1, 2, 1, 2, 1};
            EXPECT_EQ(expected, waitReports);
            EXPECT_GE(spent, 4500u);
        } else {
            EXPECT_TRUE(waitReports.empty());
            EXPECT_LT(spent, 4500u);
        }
    }
}

// A description proxy without a port is asked on port 80, with its credentials. The
// stand-in proxy hangs up; the direct rung then brings the file.
TEST_F(HttpLadder, ADescriptionProxyWithoutAPortIsAskedOnPort80) {
    struct Listener {
        SOCKET socket;
        std::string request;
    } proxy80 = {socket(AF_INET, SOCK_STREAM, 0), ""};
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    address.sin_port = htons(80);
    if (bind(proxy80.socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(proxy80.socket, 1) != 0) {
        closesocket(proxy80.socket);
        GTEST_SKIP() << "port 80 cannot be taken here";
    }
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            Listener& l = *static_cast<Listener*>(parameter);
            SOCKET connection = accept(l.socket, nullptr, nullptr);
            char block[2048];
            int got;
            while (connection != INVALID_SOCKET &&
                   l.request.find("\r\n\r\n") == std::string::npos &&
                   (got = recv(connection, block, sizeof block, 0)) > 0)
                l.request.append(block, static_cast<size_t>(got));
            closesocket(connection);
            return 0;
        },
        &proxy80, 0, nullptr);
    std::string content = PseudoRandomBytes(4096, 30);
    std::string remote = Publish("pkg", content);
    HttpWorker worker;
    EXPECT_EQ(0, Fetch(worker, remote, "127.0.0.1", "", proxyUserName,
                       Scrambled(proxyPasswordText).c_str()));
    closesocket(proxy80.socket);  // also ends an accept that nothing reached
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(0u, proxy80.request.find("GET http://" + Site() + "/" + remote + "pkginfo.txt "))
        << proxy80.request;
    EXPECT_NE(std::string::npos, proxy80.request.find("\r\nProxy-Authorization: Basic "));
    EXPECT_EQ(content, ReadWholeFile(work.Path() + "\\tmp.tmp"));
    EXPECT_STREQ("", connectionSettings.proxyHost);
}

namespace {

// Aborts the worker once its fetch is in the state under test: when "HTTP Settings" is
// shown, or after a moment for the states that then last far longer than a second.
struct Stopper {
    HttpWorker* worker;
    bool atDialog;
    DWORD abortedAt;
    volatile LONG done;
};

DWORD WINAPI AbortInState(LPVOID parameter) {
    Stopper& stopper = *static_cast<Stopper*>(parameter);
    if (stopper.atDialog)
        Person(GetCurrentProcessId()).WaitForDialog("HTTP Settings", 20000);
    else
        Sleep(1500);
    stopper.abortedAt = GetTickCount();
    stopper.worker->Abort();
    InterlockedExchange(&stopper.done, 1);
    return 0;
}

}  // namespace

// The end of the run reaches the fetch thread in every state, and the thread returns by
// itself within a second, without a report: the pauses and the poll of a held fetch
// are made a minute long, and the server that went silent would be waited for as long.
TEST_F(HttpLadder, AnAbortedFetchReturnsWithinASecondInEveryState) {
    const unsigned minute = 60000;
    std::string content(3 * 4096, 'x');
    std::string partMissing = Publish("pkg", content);
    DeleteFileA((servers + "\\www\\" + partMissing + "file001.bin").c_str());
    const HttpWorkerTiming noPause = {minute, 20, 100, 0, 0, 0, 0};
    const HttpWorkerTiming longBackOff = {minute, minute, minute, 0, 0, 0, 0};
    const HttpWorkerTiming longNetworkWait = {minute, 20, 100, minute, minute, 2 * minute, 0};
    const std::string refused = "127.0.0.1:" + RefusedPort();
    struct Case {
        const char* what;
        std::string site, remote;
        HttpWorkerTiming timing;
        bool suspended, atDialog;
    } cases[] = {
        {"waiting for the settings answer", Site(), "no-such-dir/", noPause, false, true},
        {"backing off after a failed part", Site(), partMissing, longBackOff, false, false},
        {"waiting for the network", refused, "pkg/", longNetworkWait, false, false},
        {"suspended", refused, "pkg/", longNetworkWait, true, false},
        {"receiving from a silent server", ScriptedSite(), "silence/" + name + "/", noPause, false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DWORD returned = 0;
        int forced = 0;
        Stopper stopper = {nullptr, c.atDialog, 0, 0};
        {
            HttpWorker worker;
            worker.clientTimeouts = {minute, minute, 50};
            worker.timing = c.timing;
            worker.UseConnectionSettings(&connectionSettings);
            worker.Create(notify);
            haveDl1 = haveDl4 = false;
            worker.Connect(c.site.c_str(), "", "");
            ASSERT_TRUE(WaitUntil([] { return haveDl1; }, 20000));
            if (c.suspended) worker.Hold();
            // A file of its own: a thread ended by force leaves its file open.
            std::string local = work.Path() + "\\" + std::to_string(&c - cases) + ".tmp";
            ASSERT_TRUE(worker.RequestFile(c.remote.c_str(), local.c_str()));
            stopper.worker = &worker;
            HANDLE thread = CreateThread(nullptr, 0, AbortInState, &stopper, 0, nullptr);
            ASSERT_NE(nullptr, thread);
            EXPECT_TRUE(WaitUntil([&] { return stopper.done != 0; }, 30000));
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
            worker.EndThreads();  // as the end of the run has it
            returned = GetTickCount();
            forced = worker.threadsEndedByForce;
        }
        EXPECT_LT(returned - stopper.abortedAt, 1000u);
        EXPECT_EQ(0, forced);
        EXPECT_FALSE(haveDl4);
    }
}
