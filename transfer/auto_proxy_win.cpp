// WinHTTP's proxy resolver on a thread of its own, given up after a time: the call
// itself has no time-out of its own for fetching the script.
#include "transfer/auto_proxy_win.h"

#include "common/win32.h"

#include <winhttp.h>

#include <new>

#include "shell/system_libraries_win.h"

const unsigned productAutoProxyMilliseconds = 10000;

namespace {

typedef BOOL(WINAPI* GetUserConfigProc)(WINHTTP_CURRENT_USER_IE_PROXY_CONFIG*);
typedef HINTERNET(WINAPI* OpenProc)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD);
typedef BOOL(WINAPI* GetProxyProc)(HINTERNET, LPCWSTR, WINHTTP_AUTOPROXY_OPTIONS*,
                                   WINHTTP_PROXY_INFO*);
typedef BOOL(WINAPI* CloseProc)(HINTERNET);

const int urlSize = 1024;
const int answerSize = 1024;

// One lookup, shared by the caller and the resolver's thread: whichever leaves last
// frees it, so that a caller that gave up never waits for the thread.
struct Lookup {
    volatile LONG owners = 2;
    HMODULE library = nullptr;
    GetUserConfigProc getUserConfig = nullptr;
    OpenProc open = nullptr;
    GetProxyProc getProxy = nullptr;
    CloseProc close = nullptr;
    wchar_t url[urlSize] = {};
    wchar_t scriptUrl[urlSize] = {};
    bool autoDetect = false;
    bool found = false;  // set by the thread before it leaves
    bool direct = false;
    char proxies[answerSize] = {};
};

void Leave(Lookup* lookup) {
    if (InterlockedDecrement(&lookup->owners) != 0) return;
    if (lookup->library != nullptr) FreeLibrary(lookup->library);
    lookup->~Lookup();
    HeapFree(GetProcessHeap(), 0, lookup);
}

bool Resolve(Lookup& lookup, HINTERNET session, DWORD flags, const wchar_t* scriptUrl) {
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    options.dwFlags = flags;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    options.lpszAutoConfigUrl = scriptUrl;
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info = {};
    if (!lookup.getProxy(session, lookup.url, &options, &info)) return false;
    bool taken = true;
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NO_PROXY || info.lpszProxy == nullptr) {
        lookup.direct = true;
    } else {
        taken = WideCharToMultiByte(CP_ACP, 0, info.lpszProxy, -1, lookup.proxies, answerSize,
                                    nullptr, nullptr) > 0;
    }
    if (info.lpszProxy != nullptr) GlobalFree(info.lpszProxy);
    if (info.lpszProxyBypass != nullptr) GlobalFree(info.lpszProxyBypass);
    return taken;
}

// The script the settings name first, then the one WPAD finds: one call each (asking
// for both in one call is refused by some resolvers).
DWORD WINAPI RunLookup(void* parameter) {
    Lookup& lookup = *static_cast<Lookup*>(parameter);
    HINTERNET session = lookup.open(L"Corvane Lite Installer", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session != nullptr) {
        bool found = lookup.scriptUrl[0] != L'\0' &&
                     Resolve(lookup, session, WINHTTP_AUTOPROXY_CONFIG_URL, lookup.scriptUrl);
        if (!found && lookup.autoDetect)
            found = Resolve(lookup, session, WINHTTP_AUTOPROXY_AUTO_DETECT, nullptr);
        lookup.close(session);
        lookup.found = found;
    }
    Leave(&lookup);
    return 0;
}

// The resolver's functions and what the user's settings ask for; false when they ask
// for no automatic configuration or the resolver is missing.
bool Prepare(Lookup& lookup, const char* url) {
    lookup.library = LoadSystemLibrary("winhttp.dll");
    if (lookup.library == nullptr || !FindExport(lookup.library, "WinHttpOpen", lookup.open) ||
        !FindExport(lookup.library, "WinHttpGetProxyForUrl", lookup.getProxy) ||
        !FindExport(lookup.library, "WinHttpCloseHandle", lookup.close) ||
        !FindExport(lookup.library, "WinHttpGetIEProxyConfigForCurrentUser", lookup.getUserConfig))
        return false;
    if (MultiByteToWideChar(CP_ACP, 0, url, -1, lookup.url, urlSize) == 0) return false;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG settings = {};
    if (!lookup.getUserConfig(&settings)) return false;
    lookup.autoDetect = settings.fAutoDetect != FALSE;
    bool fits = true;
    if (settings.lpszAutoConfigUrl != nullptr) {
        int length = 0;
        while (length < urlSize && settings.lpszAutoConfigUrl[length] != L'\0') ++length;
        fits = length < urlSize;
        if (fits) memcpy(lookup.scriptUrl, settings.lpszAutoConfigUrl, length * sizeof(wchar_t));
        GlobalFree(settings.lpszAutoConfigUrl);
    }
    if (settings.lpszProxy != nullptr) GlobalFree(settings.lpszProxy);
    if (settings.lpszProxyBypass != nullptr) GlobalFree(settings.lpszProxyBypass);
    return fits && (lookup.autoDetect || lookup.scriptUrl[0] != L'\0');
}

}  // namespace

size_t FindAutomaticProxies(const char* url, ProxyCandidate* out, size_t capacity,
                            unsigned timeoutMilliseconds) {
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(Lookup));
    if (memory == nullptr || capacity == 0) {
        if (memory != nullptr) HeapFree(GetProcessHeap(), 0, memory);
        return 0;
    }
    Lookup* lookup = new (memory) Lookup();
    if (!Prepare(*lookup, url)) {
        lookup->owners = 1;
        Leave(lookup);
        return 0;
    }
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, RunLookup, lookup, 0, &id);
    if (thread == nullptr) {
        lookup->owners = 1;
        Leave(lookup);
        return 0;
    }
    const bool ended = WaitForSingleObject(thread, timeoutMilliseconds) == WAIT_OBJECT_0;
    CloseHandle(thread);
    size_t count = 0;
    if (ended && lookup->found) {
        if (lookup->direct) {
            out[0].host[0] = out[0].port[0] = '\0';
            out[0].direct = true;
            count = 1;
        } else {
            count = SplitProxyList(lookup->proxies, out, capacity);
        }
    }
    Leave(lookup);
    return count;
}
