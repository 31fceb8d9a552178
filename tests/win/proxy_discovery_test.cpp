// FindBrowserProxy against Wine's registry and real prefs.js files in a scratch
// directory. Every key and value touched is put back as it was, also when a test fails.
#include "transfer/proxy_discovery_win.h"

#include "process_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char netscapeKey[] = "Software\\Netscape";
const char navigatorKey[] = "Software\\Netscape\\Netscape Navigator";
const char biffKey[] = "Software\\Netscape\\Netscape Navigator\\biff";
const char mainKey[] = "Software\\Netscape\\Netscape Navigator\\Main";
const char proxyKey[] = "Software\\Netscape\\Netscape Navigator\\Proxy Information";
const char settingsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// A key of HKEY_CURRENT_USER that is deleted at the end when it did not exist before.
class SavedKey {
public:
    explicit SavedKey(const char* path) : path(path) {
        HKEY key;
        existed = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (existed) RegCloseKey(key);
    }
    ~SavedKey() {
        if (!existed) RegDeleteKeyA(HKEY_CURRENT_USER, path);
    }

private:
    const char* path;
    bool existed;
};

// A value of HKEY_CURRENT_USER, removed for the test and put back afterwards.
class SavedValue {
public:
    SavedValue(const char* key, const char* name) : key(key), name(name) {
        HKEY handle;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
            return;
        DWORD size = 0;
        if (RegQueryValueExA(handle, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            data.resize(size + 1);
            existed =
                RegQueryValueExA(handle, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
            data.resize(size);
        }
        RegDeleteValueA(handle, name);
        RegCloseKey(handle);
    }
    ~SavedValue() {
        HKEY handle;
        if (existed && RegCreateKeyA(HKEY_CURRENT_USER, key, &handle) == ERROR_SUCCESS) {
            RegSetValueExA(handle, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
            RegCloseKey(handle);
        } else if (!existed && RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &handle) ==
                                   ERROR_SUCCESS) {
            RegDeleteValueA(handle, name);
            RegCloseKey(handle);
        }
    }

private:
    const char* key;
    const char* name;
    DWORD type = 0;
    std::vector<BYTE> data;
    bool existed = false;
};

void SetValue(const char* key, const char* name, DWORD type, const void* data, size_t size) {
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, key, &handle));
    RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
    RegCloseKey(handle);
}

void SetText(const char* key, const char* name, const std::string& text) {
    SetValue(key, name, REG_SZ, text.c_str(), text.size() + 1);
}

void SetNumber(const char* key, const char* name, DWORD type, DWORD value) {
    SetValue(key, name, type, &value, sizeof(value));
}

struct Result {
    int found;
    std::string host, port;
};

class ProxyDiscovery : public ::testing::Test {
protected:
    // Navigator installed in <scratch>\Navigator\Program, prefs.js of the profile in
    // <scratch>\Navigator\Users\<profile>.
    void WritePreferences(const std::string& profile, const std::string& text) {
        std::string navigator = scratch.Path() + "\\Navigator";
        CreateDirectoryA(navigator.c_str(), nullptr);
        CreateDirectoryA((navigator + "\\Users").c_str(), nullptr);
        CreateDirectoryA((navigator + "\\Users\\" + profile).c_str(), nullptr);
        WriteWholeFile(navigator + "\\Users\\" + profile + "\\prefs.js", text);
        SetText(mainKey, "Install Directory", navigator + "\\Program");
    }

    static Result Find() {
        char host[260] = "callerhost", port[260] = "callerport";
        int found = FindBrowserProxy(host, sizeof(host), port, sizeof(port));
        return {found, host, port};
    }

    static void EnableNavigatorProxy(const std::string& host) {
        SetNumber(proxyKey, "Proxy Type", REG_BINARY, 1);
        SetText(proxyKey, "HTTP_Proxy", host);
        SetText(proxyKey, "HTTP_ProxyPort", "3128");
    }

    static void EnableInternetExplorerProxy(const std::string& server) {
        SetNumber(settingsKey, "ProxyEnable", REG_BINARY, 1);
        SetText(settingsKey, "ProxyServer", server);
    }

    // Keys before values: values are put back first, then keys the test created go,
    // the deepest first.
    SavedKey savedKeys[6] = {SavedKey(netscapeKey), SavedKey(navigatorKey), SavedKey(biffKey),
                             SavedKey(mainKey),     SavedKey(proxyKey),     SavedKey(settingsKey)};
    SavedValue savedValues[7] = {
        SavedValue(biffKey, "CurrentUser"),     SavedValue(mainKey, "Install Directory"),
        SavedValue(proxyKey, "Proxy Type"),     SavedValue(proxyKey, "HTTP_Proxy"),
        SavedValue(proxyKey, "HTTP_ProxyPort"), SavedValue(settingsKey, "ProxyEnable"),
        SavedValue(settingsKey, "ProxyServer")};
    ScratchDirectory scratch;
};

const char header[] =
    "// Netscape User Preferences\r\n\r\n/* Do not edit this file.\r\n"
    " * user_pref(\"network.proxy.http\", \"commented\");\r\n */\r\n\r\n";
const char hostLine[] = "user_pref(\"network.proxy.http\", \"proxyhost\");\r\n";
const char portLine[] = "user_pref(\"network.proxy.http_port\", 8080);\r\n";

}  // namespace

TEST_F(ProxyDiscovery, NoBrowserSettingsFindNothing) {
    RegDeleteKeyA(HKEY_CURRENT_USER, biffKey);
    EXPECT_EQ(0, Find().found);
}

TEST_F(ProxyDiscovery, PreferencesOfTheCurrentProfileComeFirst) {
    SetText(biffKey, "CurrentUser", "Ann Lee");
    WritePreferences("Ann Lee", std::string(header) + hostLine + portLine);
    WritePreferences("default", "user_pref(\"network.proxy.http\", \"wronghost\");\n");
    EnableNavigatorProxy("navigatorhost");
    EnableInternetExplorerProxy("explorerhost:80");
    Result r = Find();
    EXPECT_EQ(1, r.found);
    EXPECT_EQ("proxyhost", r.host);
    EXPECT_EQ("8080", r.port);
}

TEST_F(ProxyDiscovery, PreferencesWithoutPortKeepTheCallersPort) {
    SetText(biffKey, "CurrentUser", "default");
    WritePreferences("default", hostLine);
    Result r = Find();
    EXPECT_EQ(1, r.found);
    EXPECT_EQ("proxyhost", r.host);
    EXPECT_EQ("callerport", r.port);
}

TEST_F(ProxyDiscovery, WithoutBiffKeyTheDefaultProfileIsRead) {
    RegDeleteKeyA(HKEY_CURRENT_USER, biffKey);
    WritePreferences("default", hostLine);
    EXPECT_EQ("proxyhost", Find().host);
}

TEST_F(ProxyDiscovery, BiffKeyWithoutCurrentUserSkipsThePreferences) {
    SetText(biffKey, "Other", "x");
    WritePreferences("default", hostLine);
    EnableInternetExplorerProxy("explorerhost:80");
    Result r = Find();
    EXPECT_EQ(1, r.found);
    EXPECT_EQ("explorerhost", r.host);
    EXPECT_EQ("80", r.port);
}

TEST_F(ProxyDiscovery, PreferencesWithOnlyAPortGoOnToTheNavigatorRegistry) {
    SetText(biffKey, "CurrentUser", "default");
    WritePreferences("default", portLine);
    EnableNavigatorProxy("navigatorhost");
    Result r = Find();
    EXPECT_EQ(1, r.found);
    EXPECT_EQ("navigatorhost", r.host);
    EXPECT_EQ("3128", r.port);
}

TEST_F(ProxyDiscovery, NavigatorPortStoredAsNumberBecomesDecimal) {
    RegDeleteKeyA(HKEY_CURRENT_USER, biffKey);
    EnableNavigatorProxy("navigatorhost");
    SetNumber(proxyKey, "HTTP_ProxyPort", REG_DWORD, 8080);
    EXPECT_EQ("8080", Find().port);
    SetNumber(proxyKey, "HTTP_ProxyPort", REG_BINARY, 81);
    EXPECT_EQ("81", Find().port);
}

TEST_F(ProxyDiscovery, NavigatorManualProxyWithoutHostEndsTheSearch) {
    RegDeleteKeyA(HKEY_CURRENT_USER, biffKey);
    EnableNavigatorProxy("navigatorhost");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, proxyKey, 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, "HTTP_Proxy");
    RegCloseKey(key);
    EnableInternetExplorerProxy("explorerhost:80");
    EXPECT_EQ(0, Find().found);
}

TEST_F(ProxyDiscovery, SwitchesCountOnlyAsBinary) {
    RegDeleteKeyA(HKEY_CURRENT_USER, biffKey);
    EnableNavigatorProxy("navigatorhost");
    SetNumber(proxyKey, "Proxy Type", REG_DWORD, 1);
    EnableInternetExplorerProxy("explorerhost:80");
    SetNumber(settingsKey, "ProxyEnable", REG_DWORD, 1);
    EXPECT_EQ(0, Find().found);

    SetNumber(settingsKey, "ProxyEnable", REG_BINARY, 1);
    EXPECT_EQ("explorerhost", Find().host);  // Navigator's REG_DWORD switch was not taken
    SetNumber(settingsKey, "ProxyEnable", REG_BINARY, 0);
    EXPECT_EQ(0, Find().found);
}

TEST_F(ProxyDiscovery, InternetExplorerProxyServerForms) {
    RegDeleteKeyA(HKEY_CURRENT_USER, biffKey);
    struct Case {
        const char* server;
        int found;
        const char *host, *port;
    } cases[] = {
        {"proxyhost:8080", 1, "proxyhost", "8080"},
        {"proxyhost", 1, "proxyhost", ""},
        {"http=web:80;ftp=files:21", 1, "web", "80"},
        {"ftp=files:21", 0, "", ""},
    };
    for (const Case& c : cases) {
        EnableInternetExplorerProxy(c.server);
        Result r = Find();
        EXPECT_EQ(c.found, r.found) << c.server;
        if (c.found == 0) continue;
        EXPECT_EQ(c.host, r.host) << c.server;
        EXPECT_EQ(c.port, r.port) << c.server;
    }
}
