// Browser proxy discovery: the preferences path, prefs.js lines and registry values.
#include "transfer/proxy_discovery.h"

#include "common/text.h"

namespace {

const char preferencePrefix[] = "user_pref";
const char hostPreference[] = "\"network.proxy.http";
const char portSuffix[] = "_port\"";
const char usersDirectory[] = "Users\\";
const char preferencesFileName[] = "\\prefs.js";
const char httpEntry[] = "http=";
const char httpsEntry[] = "https=";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const char* SkipBlanks(const char* p) {
    while (IsBlank(*p)) ++p;
    return p;
}

// Returns the text after prefix when p starts with it, else null.
const char* After(const char* p, const char* prefix) {
    size_t length = strlen(prefix);
    return strncmp(p, prefix, length) == 0 ? p + length : nullptr;
}

// Copies count bytes when they fit with their terminator; leaves out alone otherwise.
bool CopyWhole(char* out, size_t size, const char* source, size_t count) {
    if (count >= size) return false;
    memcpy(out, source, count);
    out[count] = '\0';
    return true;
}

void Clear(char* out, size_t size) {
    if (size > 0) out[0] = '\0';
}

// "host:port" at its last colon, or "host" with an empty port; false, both emptied, when
// either does not fit.
bool SplitHostPort(const char* server, size_t length, char* host, size_t hostSize, char* port,
                   size_t portSize) {
    const char* colon = nullptr;
    for (size_t i = length; i-- > 0;) {
        if (server[i] == ':') {
            colon = server + i;
            break;
        }
    }
    size_t hostLength = colon != nullptr ? static_cast<size_t>(colon - server) : length;
    const char* portText = colon != nullptr ? colon + 1 : server + length;
    if (!CopyWhole(host, hostSize, server, hostLength) ||
        !CopyWhole(port, portSize, portText, static_cast<size_t>(server + length - portText))) {
        Clear(host, hostSize);
        Clear(port, portSize);
        return false;
    }
    return true;
}

// Little-endian value of one to four bytes.
bool SmallNumber(const unsigned char* bytes, size_t length, uint32_t* value) {
    if (length == 0 || length > 4) return false;
    *value = 0;
    for (size_t i = length; i-- > 0;) *value = (*value << 8) | bytes[i];
    return true;
}

}  // namespace

bool BuildPreferencesPath(const char* installDirectory, const char* profileName, char* out,
                          size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    if (profileName[0] == '\0') return false;
    size_t end = strlen(installDirectory);
    while (end > 0 && installDirectory[end - 1] == '\\') --end;
    while (end > 0 && installDirectory[end - 1] != '\\') --end;
    if (end == 0) return false;
    // Keeps the directory up to and including the backslash before the program directory.
    if (!CopyTextPrefixN(out, size, installDirectory, end) ||
        !AppendTextN(out, size, usersDirectory) || !AppendTextN(out, size, profileName) ||
        !AppendTextN(out, size, preferencesFileName)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

PreferenceLine ParsePreferenceLine(const char* line, char* host, size_t hostSize, char* port,
                                   size_t portSize) {
    const char* p = After(SkipBlanks(line), preferencePrefix);
    if (p == nullptr) return PreferenceLine::Other;
    p = SkipBlanks(p);
    if (*p != '(') return PreferenceLine::Other;
    p = After(SkipBlanks(p + 1), hostPreference);
    if (p == nullptr) return PreferenceLine::Other;

    bool isHost = *p == '"';
    if (isHost) {
        ++p;
    } else {
        p = After(p, portSuffix);
        if (p == nullptr) return PreferenceLine::Other;  // another network.proxy.http... name
    }
    p = SkipBlanks(p);
    if (*p != ',') return PreferenceLine::Other;
    p = SkipBlanks(p + 1);

    const char* value = p;
    size_t length = 0;
    if (isHost) {
        if (*p != '"') return PreferenceLine::Other;
        value = p + 1;
        const char* close = strchr(value, '"');
        if (close == nullptr) return PreferenceLine::Other;
        length = static_cast<size_t>(close - value);
        p = close + 1;
    } else {
        while (IsDigit(value[length])) ++length;
        if (length == 0) return PreferenceLine::Other;
        p = value + length;
    }
    if (*SkipBlanks(p) != ')') return PreferenceLine::Other;

    if (isHost) {
        return CopyWhole(host, hostSize, value, length) ? PreferenceLine::Host
                                                        : PreferenceLine::Other;
    }
    return CopyWhole(port, portSize, value, length) ? PreferenceLine::Port : PreferenceLine::Other;
}

PreferencesScan::PreferencesScan(char* host, size_t hostSize, char* port, size_t portSize)
    : host(host), hostSize(hostSize), port(port), portSize(portSize) {}

void PreferencesScan::Feed(const char* piece) {
    size_t length = BoundedLength(piece, preferencesLineSize);
    // fgets fills the buffer without a line end only when the line goes on; a shorter
    // piece without one is the last line of the file.
    bool cut = length == preferencesLineSize - 1 && piece[length - 1] != '\n';
    bool continuation = insideLongLine;
    insideLongLine = cut;
    if (cut || continuation) return;
    if (ParsePreferenceLine(piece, host, hostSize, port, portSize) == PreferenceLine::Host)
        hostFound = true;
}

bool IsSwitchOn(uint32_t type, const unsigned char* bytes, size_t length) {
    uint32_t value = 0;
    return type == registryBinaryType && SmallNumber(bytes, length, &value) && value == 1;
}

bool TakeRegistryPort(uint32_t type, const unsigned char* bytes, size_t length, char* out,
                      size_t size) {
    if (type != registryNumberType && type != registryBinaryType)
        return TakeRegistryText(type, bytes, length, out, size);
    Clear(out, size);
    uint32_t value = 0;
    if (!SmallNumber(bytes, length, &value)) return false;
    if (type == registryNumberType && length != 4) return false;
    char digits[12];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (count >= size) return false;
    for (size_t i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
    out[count] = '\0';
    return true;
}

namespace {

// The server of the entry called name ("http=") in a list per protocol; false when the
// list has none.
bool FindProxyEntry(const char* value, const char* name, const char*& server, size_t& length) {
    const size_t nameLength = strlen(name);
    for (const char* entry = value; entry != nullptr;) {
        const char* next = strchr(entry, ';');
        entry = SkipBlanks(entry);
        if (EqualsIgnoringCaseN(entry, name, nameLength)) {
            server = entry + nameLength;
            length = next != nullptr ? static_cast<size_t>(next - server) : strlen(server);
            return true;
        }
        entry = next != nullptr ? next + 1 : nullptr;
    }
    return false;
}

}  // namespace

bool SplitProxyServer(const char* value, char* host, size_t hostSize, char* port, size_t portSize,
                      bool secure) {
    Clear(host, hostSize);
    Clear(port, portSize);
    const char* server = value;
    size_t length = strlen(value);
    // "http=a:80;https=b:443;ftp=c:21": the http entry is the HTTP proxy; for https
    // targets the https entry where there is one.
    if (strchr(value, '=') != nullptr) {
        const char* entry = nullptr;
        size_t entryLength = 0;
        const bool found = (secure && FindProxyEntry(value, httpsEntry, entry, entryLength)) ||
                           FindProxyEntry(value, httpEntry, entry, entryLength);
        if (!found || entry == nullptr) return false;
        server = entry;
        length = entryLength;
    }
    return SplitHostPort(server, length, host, hostSize, port, portSize);
}

size_t SplitProxyList(const char* text, ProxyCandidate* out, size_t capacity) {
    size_t count = 0;
    for (const char* p = text; *p != '\0' && count < capacity;) {
        while (*p == ';' || IsBlank(*p)) ++p;
        const char* item = p;
        while (*p != '\0' && *p != ';' && !IsBlank(*p)) ++p;
        size_t length = static_cast<size_t>(p - item);
        if (length == 0) break;
        // A script's own words, where a resolver hands them on unchanged.
        if (length == 5 && EqualsIgnoringCaseN(item, "PROXY", 5)) continue;
        ProxyCandidate& candidate = out[count];
        candidate.direct = length == 6 && EqualsIgnoringCaseN(item, "DIRECT", 6);
        // "http=host:port" names the scheme it is for: only http proxies are used.
        const char* equals = static_cast<const char*>(memchr(item, '=', length));
        if (equals != nullptr) {
            if (static_cast<size_t>(equals - item) != 4 || !EqualsIgnoringCaseN(item, "http", 4))
                continue;
            length -= static_cast<size_t>(equals + 1 - item);
            item = equals + 1;
        }
        if (candidate.direct) {
            candidate.host[0] = candidate.port[0] = '\0';
            ++count;
        } else if (SplitHostPort(item, length, candidate.host, sizeof candidate.host,
                                 candidate.port, sizeof candidate.port) &&
                   candidate.host[0] != '\0') {
            ++count;
        }
    }
    return count;
}
