// Browser proxy discovery: reads Navigator's preferences file and registry values and
// Internet Explorer's settings; proxy_discovery decides what they say.
#include "transfer/proxy_discovery_win.h"

#include "common/registry_text_win.h"
#include "transfer/proxy_discovery.h"

namespace {

const char biffKey[] = "Software\\Netscape\\Netscape Navigator\\biff";
const char mainKey[] = "Software\\Netscape\\Netscape Navigator\\Main";
const char navigatorProxyKey[] = "Software\\Netscape\\Netscape Navigator\\Proxy Information";
const char internetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Text values (profile name, directories, hosts, ports) are read up to this size.
constexpr DWORD registryValueSize = 260;

// A key of HKEY_CURRENT_USER, closed when it goes out of scope. Keys are opened with
// full access although only reads follow, so a key that refuses it counts as absent.
class UserKey {
public:
    explicit UserKey(const char* path) {
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
            key = nullptr;
    }
    ~UserKey() {
        if (key != nullptr) RegCloseKey(key);
    }
    UserKey(const UserKey&) = delete;
    UserKey& operator=(const UserKey&) = delete;

    bool IsOpen() const { return key != nullptr; }

    // Reads at most *length bytes of the value; *length then holds the bytes read.
    // A value larger than that fails.
    bool Query(const char* name, DWORD* type, unsigned char* bytes, DWORD* length) const {
        return key != nullptr &&
               RegQueryValueExA(key, name, nullptr, type, bytes, length) == ERROR_SUCCESS;
    }

    bool QueryText(const char* name, char* out, size_t size) const {
        if (key == nullptr) {
            if (size > 0) out[0] = '\0';
            return false;
        }
        return ReadRegistryText(key, name, out, size);
    }

    bool QueryPort(const char* name, char* out, size_t size) const {
        unsigned char value[registryValueSize];
        DWORD type = 0, length = sizeof(value);
        if (!Query(name, &type, value, &length)) return false;
        return TakeRegistryPort(type, value, length, out, size);
    }

    bool QuerySwitch(const char* name) const {
        unsigned char value[proxySwitchSize];
        DWORD type = 0, length = sizeof(value);
        return Query(name, &type, value, &length) && IsSwitchOn(type, value, length);
    }

private:
    HKEY key = nullptr;
};

// Navigator's prefs.js of the current profile, in the Users directory beside
// Navigator's program directory. True when it names a host.
bool FindInPreferences(char* host, size_t hostSize, char* port, size_t portSize) {
    char profile[proxyProfileNameSize] = "";
    {
        UserKey biff(biffKey);
        if (!biff.IsOpen())
            CopyText(profile, defaultProfileName);
        else if (!biff.QueryText("CurrentUser", profile, sizeof(profile)))
            profile[0] = '\0';
    }
    if (profile[0] == '\0') return false;

    UserKey main(mainKey);
    char installDirectory[registryValueSize];
    if (!main.QueryText("Install Directory", installDirectory, sizeof(installDirectory)))
        return false;
    char path[preferencesPathSize];
    if (!BuildPreferencesPath(installDirectory, profile, path, sizeof(path))) return false;

    FILE* file = fopen(path, "rt");
    if (file == nullptr) return false;
    PreferencesScan scan(host, hostSize, port, portSize);
    char line[preferencesLineSize];
    while (!feof(file) && fgets(line, sizeof(line), file) != nullptr) scan.Feed(line);
    fclose(file);
    return scan.HostFound();
}

enum class NavigatorProxy { NotConfigured, Failed, Found };

// Navigator's manual proxy configuration in the registry.
NavigatorProxy FindInNavigatorRegistry(char* host, size_t hostSize, char* port, size_t portSize) {
    UserKey proxy(navigatorProxyKey);
    if (!proxy.QuerySwitch("Proxy Type")) return NavigatorProxy::NotConfigured;
    bool hostRead = proxy.QueryText("HTTP_Proxy", host, hostSize);
    bool portRead = proxy.QueryPort("HTTP_ProxyPort", port, portSize);
    return hostRead && portRead ? NavigatorProxy::Found : NavigatorProxy::Failed;
}

// Internet Explorer's proxy, when switched on.
bool FindInInternetSettings(char* host, size_t hostSize, char* port, size_t portSize, bool secure) {
    UserKey settings(internetSettingsKey);
    if (!settings.QuerySwitch("ProxyEnable")) return false;
    char server[registryValueSize];
    if (!settings.QueryText("ProxyServer", server, sizeof(server))) return false;
    return SplitProxyServer(server, host, hostSize, port, portSize, secure);
}

}  // namespace

bool FindBrowserProxy(char* host, size_t hostSize, char* port, size_t portSize, bool secure) {
    if (hostSize == 0 || portSize == 0) return false;
    if (FindInPreferences(host, hostSize, port, portSize)) return true;
    switch (FindInNavigatorRegistry(host, hostSize, port, portSize)) {
    case NavigatorProxy::Found:
        return true;
    case NavigatorProxy::Failed:
        // Navigator says a manual proxy is configured: Internet Explorer is not asked.
        return false;
    case NavigatorProxy::NotConfigured:
        break;
    }
    return FindInInternetSettings(host, hostSize, port, portSize, secure);
}
