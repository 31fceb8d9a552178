// The text decisions of browser proxy discovery: where the Navigator preferences
// file lies, what its proxy lines say, and how the registry values of Navigator and
// Internet Explorer are read. The shell (proxy_discovery_win) does the reading.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/registry_text.h"

constexpr size_t proxyProfileNameSize = 260;
constexpr size_t preferencesPathSize = 260;
// One line of prefs.js as fgets reads it: at most 258 characters, its line end included.
constexpr size_t preferencesLineSize = 259;
// The largest switch value (ProxyEnable, Proxy Type) that is read.
constexpr size_t proxySwitchSize = 4;

// The profile used when Navigator has no "biff" key at all.
constexpr const char defaultProfileName[] = "default";

// Builds "<directory above the program directory>\Users\<profile>\prefs.js" from
// Navigator's Install Directory. Trailing backslashes of the install directory are
// ignored, so "D:\Navigator\Program\" also gives "D:\Navigator\Users\...". Returns
// false, with out emptied, when the directory has no backslash, the profile name is
// empty or the path does not fit in size bytes.
bool BuildPreferencesPath(const char* installDirectory, const char* profileName, char* out,
                          size_t size);

enum class PreferenceLine { Other, Host, Port };

// Reads one complete line of prefs.js. A line
//     user_pref("network.proxy.http", "proxyhost");
// copies proxyhost into host and returns Host (an empty host is a host too); a line
//     user_pref("network.proxy.http_port", 8080);
// copies 8080 into port and returns Port. Blanks are allowed around the parentheses
// and the comma; the value must be followed by ")". Anything else, a comment, another
// preference or a host or port that does not fit its buffer (a port is decimal digits
// only), returns Other and leaves both buffers untouched.
PreferenceLine ParsePreferenceLine(const char* line, char* host, size_t hostSize, char* port,
                                   size_t portSize);

// Follows prefs.js as fgets hands it over in pieces of at most preferencesLineSize - 1
// characters. A line that does not fit in one piece together with its line end is
// ignored whole: its first piece and every continuation. Later lines overwrite the
// values of earlier ones; a port line writes the port even when no host line follows.
class PreferencesScan {
public:
    PreferencesScan(char* host, size_t hostSize, char* port, size_t portSize);
    void Feed(const char* piece);
    bool HostFound() const { return hostFound; }

private:
    char* host;
    size_t hostSize;
    char* port;
    size_t portSize;
    bool hostFound = false;
    bool insideLongLine = false;
};

// A switch counts as on only when stored as REG_BINARY holding the little-endian
// value 1 in one to four bytes; REG_DWORD and every other type count as off.
bool IsSwitchOn(uint32_t type, const unsigned char* bytes, size_t length);

// Takes a port value: text as TakeRegistryText does; a REG_DWORD, or a REG_BINARY of
// one to four little-endian bytes, becomes its decimal text.
bool TakeRegistryPort(uint32_t type, const unsigned char* bytes, size_t length, char* out,
                      size_t size);

// Splits Internet Explorer's ProxyServer value at its last colon: "proxyhost:8080"
// gives proxyhost and 8080, "proxyhost" gives proxyhost and an empty port. A list per
// protocol ("http=a:80;ftp=b:21") uses its http entry, for a secure target (https) its
// https entry where it has one; a list without the entry used gives false. A host or port that does not fit also gives false; the buffers are then
// left empty.
bool SplitProxyServer(const char* value, char* host, size_t hostSize, char* port, size_t portSize,
                      bool secure = false);

// One proxy of the list that the system's automatic configuration (a PAC script, WPAD)
// gives for a URL, or a direct connection.
constexpr size_t proxyCandidateTextSize = 260;
struct ProxyCandidate {
    char host[proxyCandidateTextSize];
    char port[proxyCandidateTextSize];
    bool direct;
};
constexpr size_t maxProxyCandidates = 4;

// Reads such a list into out, at most capacity entries in their order: entries separated
// by ";" or blanks, each "host:port", "host" (an empty port), "DIRECT", or
// "scheme=host:port" of which only http entries count; a script's word "PROXY" before an
// entry is skipped. Entries that do not fit are left out. Returns the number taken.
size_t SplitProxyList(const char* text, ProxyCandidate* out, size_t capacity);
