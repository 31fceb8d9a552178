// URL parsing, request building and response-head reading for the HTTP/1.0 client.
#include "transfer/http_request.h"

#include "common/text.h"
#include "transfer/base64.h"

#include <stdlib.h>
#include <string.h>

namespace {

const char schemePrefix[] = "http://";
const size_t schemePrefixLength = sizeof schemePrefix - 1;
const char secureSchemePrefix[] = "https://";
const size_t secureSchemePrefixLength = sizeof secureSchemePrefix - 1;
const char locationName[] = "Location";
const char contentLengthName[] = "Content-Length";
const char connectionName[] = "Connection";
const char keepAliveToken[] = "keep-alive";
const char closeToken[] = "close";
const size_t minimumResponseLength = 15;
const size_t statusOffset = 9;
const int maxContentLengthDigits = 15;

char* CopyRange(const char* text, size_t length) {
    char* copy = static_cast<char*>(malloc(length + 1));
    if (copy == nullptr) return nullptr;
    memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

// First position of pattern within length bytes of data, or -1. Only positions where
// the whole pattern fits are considered.
ptrdiff_t FindBytes(const char* data, size_t length, const char* pattern, size_t patternLength) {
    if (length < patternLength) return -1;
    for (size_t i = 0; i + patternLength <= length; ++i) {
        if (memcmp(data + i, pattern, patternLength) == 0) return static_cast<ptrdiff_t>(i);
    }
    return -1;
}

// Appends pieces to the request buffer and remembers whether everything fitted.
class RequestWriter {
public:
    RequestWriter(char* out, size_t size) : out(out), size(size) {
        if (size > 0) out[0] = '\0';
    }
    void Append(const char* text) {
        if (fits && !AppendTextN(out, size, text)) fits = false;
    }
    void AppendNumber(unsigned number) {
        char digits[12];
        size_t n = sizeof digits - 1;
        digits[n] = '\0';
        do {
            digits[--n] = static_cast<char>('0' + number % 10);
            number /= 10;
        } while (number != 0);
        Append(digits + n);
    }
    // The Base64 encoding of user, ":" and password (absent ones are empty).
    void AppendCredentials(const char* user, const char* password) {
        char joined[requestBufferSize];
        char encoded[requestBufferSize];
        if (!CopyText(joined, user) || !AppendText(joined, ":") || !AppendText(joined, password) ||
            !Base64Encode(joined, strlen(joined), standardBase64Alphabet, encoded,
                          sizeof encoded)) {
            fits = false;
            return;
        }
        Append(encoded);
    }
    void AppendProxyCredentials(const UrlParts* proxy, const char* logonLine) {
        if (logonLine != nullptr) {
            Append(logonLine);
            return;
        }
        if (proxy->user == nullptr || proxy->password == nullptr) return;
        Append("Proxy-Authorization: Basic ");
        AppendCredentials(proxy->user, proxy->password);
        Append("\r\n");
    }
    // "host:port", the port always written.
    void AppendAuthority(const UrlParts* target) {
        Append(target->host);
        Append(":");
        AppendNumber(target->port);
    }
    // Out emptied when something did not fit; the length otherwise.
    int Finish() {
        if (!Fits()) {
            if (size > 0) out[0] = '\0';
            return -1;
        }
        return static_cast<int>(strlen(out));
    }
    bool Fits() const { return fits && size > 0; }

private:
    char* out;
    size_t size;
    bool fits = true;
};

}  // namespace

bool ParsePort(const char* text, size_t length, unsigned short* port) {
    if (length == 0) return false;
    unsigned long value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + static_cast<unsigned long>(text[i] - '0');
        if (value > 65535) return false;
    }
    if (value == 0) return false;
    *port = static_cast<unsigned short>(value);
    return true;
}

bool ParsePortAfterColon(const char* colon, unsigned short* port) {
    const char* end = strchr(colon, '/');
    size_t length = end != nullptr ? static_cast<size_t>(end - colon - 1) : strlen(colon + 1);
    return ParsePort(colon + 1, length, port);
}

UrlParts* ParseUrl(const char* text) {
    UrlParts* url = static_cast<UrlParts*>(calloc(1, sizeof(UrlParts)));
    if (url == nullptr) return nullptr;
    url->port = defaultHttpPort;

    const char* rest = text;
    if (EqualsIgnoringCaseN(rest, schemePrefix, schemePrefixLength)) {
        rest += schemePrefixLength;
    } else if (EqualsIgnoringCaseN(rest, secureSchemePrefix, secureSchemePrefixLength)) {
        rest += secureSchemePrefixLength;
        url->secure = true;
        url->port = defaultHttpsPort;
    }

    bool complete = true;
    const char* at = strrchr(rest, '@');
    if (at != nullptr) {
        const char* colon = static_cast<const char*>(memchr(rest, ':', at - rest));
        if (colon != nullptr) {
            url->user = CopyRange(rest, colon - rest);
            url->password = CopyRange(colon + 1, at - colon - 1);
            complete = url->user != nullptr && url->password != nullptr;
        } else {
            url->user = CopyRange(rest, at - rest);
            complete = url->user != nullptr;
        }
        rest = at + 1;
    }

    const char* colon = strchr(rest, ':');
    const char* slash = strchr(rest, '/');
    if (colon != nullptr) {
        url->host = CopyRange(rest, colon - rest);
        if (!ParsePortAfterColon(colon, &url->port)) url->port = 0;
    } else if (slash != nullptr) {
        url->host = CopyRange(rest, slash - rest);
    } else {
        url->host = CopyRange(rest, strlen(rest));
    }
    if (slash != nullptr) url->path = CopyRange(slash, strlen(slash));

    if (!complete || url->host == nullptr || (slash != nullptr && url->path == nullptr)) {
        FreeUrl(url);
        return nullptr;
    }
    return url;
}

size_t SiteSchemeLength(const char* site) {
    if (strncmp(site, schemePrefix, schemePrefixLength) == 0) return schemePrefixLength;
    if (strncmp(site, secureSchemePrefix, secureSchemePrefixLength) == 0)
        return secureSchemePrefixLength;
    return 0;
}

bool IsSecureSite(const char* site) {
    return strncmp(site, secureSchemePrefix, secureSchemePrefixLength) == 0;
}

void FreeUrl(UrlParts* url) {
    if (url == nullptr) return;
    free(url->user);
    free(url->password);
    free(url->host);
    free(url->path);
    free(url);
}

namespace {

// Replaces the user and password of url by copies of those of source, an absent one
// becoming empty. False when memory ran out (url then keeps its own).
bool TakeOverCredentials(UrlParts* url, const UrlParts* source) {
    const char* user = source->user != nullptr ? source->user : "";
    const char* password = source->password != nullptr ? source->password : "";
    char* userCopy = CopyRange(user, strlen(user));
    char* passwordCopy = CopyRange(password, strlen(password));
    if (userCopy == nullptr || passwordCopy == nullptr) {
        free(userCopy);
        free(passwordCopy);
        return false;
    }
    free(url->user);
    free(url->password);
    url->user = userCopy;
    url->password = passwordCopy;
    return true;
}

void DropCredentials(UrlParts* url) {
    free(url->user);
    free(url->password);
    url->user = nullptr;
    url->password = nullptr;
}

bool IsSchemeCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '-' || c == '.';
}

bool IsPlainUrl(const char* text) {
    return EqualsIgnoringCaseN(text, schemePrefix, schemePrefixLength);
}

bool IsSecureUrl(const char* text) {
    return EqualsIgnoringCaseN(text, secureSchemePrefix, secureSchemePrefixLength);
}

// Whether text starts with a scheme other than http and https ("ftp://"...).
bool HasOtherScheme(const char* text) {
    const char* p = text;
    while (IsSchemeCharacter(*p)) ++p;
    return p > text && strncmp(p, "://", 3) == 0 && !IsPlainUrl(text) && !IsSecureUrl(text);
}

// Whether a URL text without a scheme names a port: as ParseUrl reads it, a ":" after
// the user part.
bool NamesPort(const char* text) {
    const char* at = strrchr(text, '@');
    return strchr(at != nullptr ? at + 1 : text, ':') != nullptr;
}

// An absolute location: credentials stay only on current's host and port. A location
// without a scheme ("//host/...") keeps current's.
UrlParts* ResolveAbsolute(const UrlParts* current, const char* location, bool keepScheme) {
    UrlParts* next = ParseUrl(location);
    if (next == nullptr) return nullptr;
    if (keepScheme && current->secure) {
        next->secure = true;
        if (!NamesPort(location)) next->port = defaultHttpsPort;
    }
    bool sameSite = EqualsIgnoringCase(next->host, current->host) && next->port == current->port;
    if (!sameSite) {
        DropCredentials(next);
    } else if (!TakeOverCredentials(next, current)) {
        FreeUrl(next);
        return nullptr;
    }
    return next;
}

// A location without a host: current's site with the path it names.
UrlParts* ResolveRelative(const UrlParts* current, const char* location) {
    UrlParts* next = static_cast<UrlParts*>(calloc(1, sizeof(UrlParts)));
    if (next == nullptr) return nullptr;
    next->port = current->port;
    next->secure = current->secure;
    next->host = CopyRange(current->host, strlen(current->host));
    // A path of a parsed URL starts with "/"; a path-relative location keeps current's
    // up to and including its last "/".
    const char* base = current->path != nullptr ? current->path : "/";
    size_t directoryLength = 0;
    for (size_t i = 0; location[0] != '/' && base[i] != '\0'; ++i) {
        if (base[i] == '/') directoryLength = i + 1;
    }
    size_t locationLength = strlen(location);
    next->path = static_cast<char*>(malloc(directoryLength + locationLength + 1));
    if (next->path != nullptr) {
        memcpy(next->path, base, directoryLength);
        memcpy(next->path + directoryLength, location, locationLength + 1);
    }
    if (next->host == nullptr || next->path == nullptr || !TakeOverCredentials(next, current)) {
        FreeUrl(next);
        return nullptr;
    }
    return next;
}

}  // namespace

UrlParts* ResolveLocation(const UrlParts* current, const char* location) {
    if (HasOtherScheme(location) || IsSecurityDowngrade(current, location)) return nullptr;
    if (IsPlainUrl(location) || IsSecureUrl(location))
        return ResolveAbsolute(current, location, false);
    if (location[0] == '/' && location[1] == '/')
        return ResolveAbsolute(current, location + 2, true);
    return ResolveRelative(current, location);
}

bool IsSecurityDowngrade(const UrlParts* current, const char* location) {
    return current->secure && IsPlainUrl(location);
}

int BuildRequest(const UrlParts* target, const UrlParts* proxy, const char* requestPath, char* out,
                 size_t size, const RequestCredentials& credentials) {
    RequestWriter request(out, size);
    const char* path = requestPath != nullptr ? requestPath : target->path;
    if (path == nullptr || path[0] == '\0') path = "/";

    // A secure target's request travels inside the tunnel, to the server itself.
    const bool viaProxy = proxy != nullptr && !target->secure;
    request.Append("GET ");
    if (viaProxy) {
        request.Append("http://");
        request.Append(target->host);
        if (target->port != defaultHttpPort) {
            request.Append(":");
            request.AppendNumber(target->port);
        }
    }
    request.Append(path);
    request.Append(" HTTP/1.0\r\n");

    if (viaProxy) request.AppendProxyCredentials(proxy, credentials.proxyLine);
    if (credentials.serverLine != nullptr) {
        request.Append(credentials.serverLine);
    } else if (target->user != nullptr && target->password != nullptr) {
        request.Append("Authorization: Basic ");
        request.AppendCredentials(target->user, target->password);
        request.Append("\r\n");
    }
    request.Append("Host: ");
    request.Append(target->host);
    request.Append("\r\n");
    request.Append("Accept: image/gif, image/jpeg, image/pjpeg, */*\r\n");
    // HTTP/1.0 with keep-alive: a server that keeps the connection says so and sends a
    // length, and never a body in chunks.
    request.Append("Connection: keep-alive\r\n");
    // Exactly one empty line: bytes after it would reach the server as the start of
    // another request, and a proxy relaying them can lose the answer to this one.
    request.Append("\r\n");
    return request.Finish();
}

int BuildConnectRequest(const UrlParts* target, const UrlParts* proxy, char* out, size_t size,
                        const char* proxyLine) {
    RequestWriter request(out, size);
    request.Append("CONNECT ");
    request.AppendAuthority(target);
    request.Append(" HTTP/1.0\r\nHost: ");
    request.AppendAuthority(target);
    request.Append("\r\n");
    // A proxy that asks for a log-on answers on this connection; without keep-alive it
    // closes it after its refusal, and the log-on exchange, bound to it, cannot go on.
    request.Append("Connection: keep-alive\r\n");
    request.AppendProxyCredentials(proxy, proxyLine);
    request.Append("\r\n");
    return request.Finish();
}

const char* FindHeaderAfter(const char* head, size_t headLength, const char* from, const char* name,
                            HeaderValue* value) {
    const size_t nameLength = strlen(name);
    const char* end = head + headLength;
    const char* line = from;
    if (line == nullptr) {
        line = static_cast<const char*>(memchr(head, '\n', headLength));
        if (line != nullptr) ++line;
    }
    while (line != nullptr && line < end) {
        const char* next = static_cast<const char*>(memchr(line, '\n', end - line));
        const char* lineEnd = next != nullptr ? next : end;
        if (static_cast<size_t>(lineEnd - line) > nameLength &&
            EqualsIgnoringCaseN(line, name, nameLength) && line[nameLength] == ':') {
            const char* begin = line + nameLength + 1;
            while (begin < lineEnd && IsBlank(*begin)) ++begin;
            // The value ends at the first CR: one inside a line would otherwise reach
            // the next request as a line break of its own.
            const size_t rest = begin < lineEnd ? static_cast<size_t>(lineEnd - begin) : 0;
            const char* cr = static_cast<const char*>(memchr(begin, '\r', rest));
            const char* valueEnd = cr != nullptr ? cr : lineEnd;
            while (valueEnd > begin && IsBlank(valueEnd[-1])) --valueEnd;
            value->begin = begin;
            value->end = valueEnd;
            return next != nullptr ? next + 1 : end;
        }
        line = next != nullptr ? next + 1 : nullptr;
    }
    return nullptr;
}

namespace {

bool FindHeader(const char* head, size_t headLength, const char* name, HeaderValue* value) {
    return FindHeaderAfter(head, headLength, nullptr, name, value) != nullptr;
}

bool HasToken(const HeaderValue& value, const char* token) {
    const size_t tokenLength = strlen(token);
    for (const char* item = value.begin; item < value.end;) {
        const char* comma = static_cast<const char*>(memchr(item, ',', value.end - item));
        const char* itemEnd = comma != nullptr ? comma : value.end;
        const char* begin = item;
        while (begin < itemEnd && IsBlank(*begin)) ++begin;
        const char* end = itemEnd;
        while (end > begin && IsBlank(end[-1])) --end;
        if (static_cast<size_t>(end - begin) == tokenLength &&
            EqualsIgnoringCaseN(begin, token, tokenLength))
            return true;
        item = comma != nullptr ? comma + 1 : value.end;
    }
    return false;
}

// Reads a Content-Length value: at least one digit and nothing else. Anything else counts
// as no value (-1).
long long ReadContentLength(const HeaderValue& value) {
    long long number = 0;
    int digits = 0;
    for (const char* p = value.begin; p < value.end; ++p) {
        if (*p < '0' || *p > '9' || ++digits > maxContentLengthDigits) return -1;
        number = number * 10 + (*p - '0');
    }
    return digits > 0 ? number : -1;
}

// Copies a Location value, cut after maxLocationLength characters or at a NUL byte.
void CopyLocation(const HeaderValue& value, char (&location)[maxLocationLength + 1]) {
    size_t n = 0;
    while (n < maxLocationLength && value.begin + n < value.end && value.begin[n] != '\0') {
        location[n] = value.begin[n];
        ++n;
    }
    location[n] = '\0';
}

}  // namespace

int ParseResponseHeader(const char* data, size_t length, ResponseHeader* header) {
    header->headerLength = 0;
    header->status = unparseableStatus;
    header->location[0] = '\0';
    header->contentLength = -1;
    header->keepsConnection = false;
    if (length < minimumResponseLength || memcmp(data, "HTTP/", 5) != 0) return -1;

    int status = 0;
    for (size_t i = statusOffset; i < statusOffset + 3; ++i) {
        status = status * 10 + (static_cast<unsigned char>(data[i]) - '0');
    }

    ptrdiff_t end = FindBytes(data, length, "\r\n\r\n", 4);
    size_t headerLength = 0;
    if (end >= 0) {
        headerLength = static_cast<size_t>(end) + 4;
    } else {
        end = FindBytes(data, length, "\n\n", 2);
        if (end < 0) return -1;
        headerLength = static_cast<size_t>(end) + 2;
    }

    HeaderValue value;
    if (FindHeader(data, headerLength, locationName, &value)) CopyLocation(value, header->location);
    if (FindHeader(data, headerLength, contentLengthName, &value))
        header->contentLength = ReadContentLength(value);
    // Only a body of known length ends where the next response can begin.
    header->keepsConnection = header->contentLength >= 0 &&
                              FindHeader(data, headerLength, connectionName, &value) &&
                              HasToken(value, keepAliveToken) && !HasToken(value, closeToken);

    header->headerLength = static_cast<int>(headerLength);
    header->status = status;
    return 0;
}

long long BodyAllowance(long long contentLength, long long limit) {
    if (contentLength < 0) return limit < 0 ? -1 : limit;
    return limit < 0 || contentLength < limit ? contentLength : limit;
}

bool TransferPace::Arrived(unsigned now, size_t count) {
    if (now - windowStart >= window) {
        if (bytesInWindow < minimum) return false;
        Start(now);
    }
    bytesInWindow += count;
    return true;
}
