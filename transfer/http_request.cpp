// URL parsing, request building and response-head reading for the HTTP/1.0 client.
#include "transfer/http_request.h"

#include "common/text.h"
#include "transfer/base64.h"

#include <stdlib.h>
#include <string.h>

namespace {

const char schemePrefix[] = "http://";
const size_t schemePrefixLength = sizeof schemePrefix - 1;
const char locationName[] = "LOCATION: ";
const size_t locationNameLength = sizeof locationName - 1;
const char contentLengthName[] = "CONTENT-LENGTH:";
const size_t contentLengthNameLength = sizeof contentLengthName - 1;
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

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Compares count bytes of data with an upper-case name, ignoring the case of data.
bool MatchesUpper(const char* data, const char* upperName, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (UpperAscii(data[i]) != upperName[i]) return false;
    }
    return true;
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
        if (!CopyText(joined, user) || !AppendText(joined, ":") ||
            !AppendText(joined, password) ||
            !Base64Encode(joined, strlen(joined), standardBase64Alphabet, encoded,
                          sizeof encoded)) {
            fits = false;
            return;
        }
        Append(encoded);
    }
    bool Fits() const { return fits && size > 0; }

private:
    char* out;
    size_t size;
    bool fits = true;
};

}  // namespace

UrlParts* parse_url(const char* text) {
    UrlParts* url = static_cast<UrlParts*>(calloc(1, sizeof(UrlParts)));
    if (url == nullptr) return nullptr;
    url->port = defaultHttpPort;

    const char* rest = text;
    if (EqualsIgnoringCaseN(rest, schemePrefix, schemePrefixLength)) rest += schemePrefixLength;

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
        unsigned short port = 0;
        for (const char* digit = colon + 1; *digit >= '0' && *digit <= '9'; ++digit) {
            port = static_cast<unsigned short>(port * 10 + (*digit - '0'));
        }
        url->port = port;
    } else if (slash != nullptr) {
        url->host = CopyRange(rest, slash - rest);
    } else {
        url->host = CopyRange(rest, strlen(rest));
    }
    if (slash != nullptr) url->path = CopyRange(slash, strlen(slash));

    if (!complete || url->host == nullptr || (slash != nullptr && url->path == nullptr)) {
        free_url(url);
        return nullptr;
    }
    return url;
}

void free_url(UrlParts* url) {
    if (url == nullptr) return;
    free(url->user);
    free(url->password);
    free(url->host);
    free(url->path);
    free(url);
}

bool take_over_credentials(UrlParts* url, const UrlParts* source) {
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

int build_request(const UrlParts* target, const UrlParts* proxy, const char* requestPath,
                  char* out, size_t size) {
    RequestWriter request(out, size);
    const char* path = requestPath != nullptr ? requestPath : target->path;
    if (path == nullptr || path[0] == '\0') path = "/";

    request.Append("GET ");
    if (proxy != nullptr) {
        request.Append("http://");
        request.Append(target->host);
        if (target->port != defaultHttpPort) {
            request.Append(":");
            request.AppendNumber(target->port);
        }
    }
    request.Append(path);
    request.Append(" HTTP/1.0\r\n");

    if (proxy != nullptr && proxy->user != nullptr && proxy->password != nullptr) {
        request.Append("Proxy-Authorization: Basic ");
        request.AppendCredentials(proxy->user, proxy->password);
        request.Append("\r\n");
    }
    if (target->user != nullptr && target->password != nullptr) {
        request.Append("Authorization: Basic ");
        request.AppendCredentials(target->user, target->password);
        request.Append("\r\n");
    }
    request.Append("Host: ");
    request.Append(target->host);
    request.Append("\r\n");
    request.Append("Accept: image/gif, image/jpeg, image/pjpeg, */*\r\n");
    // Two pairs, not one: the request ends with its empty line and one more CR LF.
    request.Append("\r\n\r\n");

    if (!request.Fits()) {
        if (size > 0) out[0] = '\0';
        return -1;
    }
    return static_cast<int>(strlen(out));
}

namespace {

// Reads a Content-Length value: blanks, at least one digit, then only blanks up to
// the end of the line. Anything else counts as no value (-1).
long long ReadContentLength(const char* value, const char* end) {
    while (value < end && (*value == ' ' || *value == '\t')) ++value;
    long long number = 0;
    int digits = 0;
    while (value < end && *value >= '0' && *value <= '9') {
        if (++digits > maxContentLengthDigits) return -1;
        number = number * 10 + (*value - '0');
        ++value;
    }
    if (digits == 0) return -1;
    while (value < end && (*value == ' ' || *value == '\t')) ++value;
    if (value < end && *value != '\r' && *value != '\n') return -1;
    return number;
}

}  // namespace

int parse_response_header(const char* data, size_t length, ResponseHeader* header) {
    header->headerLength = 0;
    header->status = unparseableStatus;
    header->location[0] = '\0';
    header->contentLength = -1;
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

    for (size_t i = 0; i + locationNameLength <= headerLength; ++i) {
        if (!MatchesUpper(data + i, locationName, locationNameLength)) continue;
        const char* value = data + i + locationNameLength;
        size_t n = 0;
        while (n < maxLocationLength && value + n < data + headerLength && value[n] != '\r' &&
               value[n] != '\n' && value[n] != '\0') {
            header->location[n] = value[n];
            ++n;
        }
        header->location[n] = '\0';
        break;
    }

    for (size_t i = 0; i + contentLengthNameLength <= headerLength; ++i) {
        if (i > 0 && data[i - 1] != '\n') continue;
        if (!MatchesUpper(data + i, contentLengthName, contentLengthNameLength)) continue;
        header->contentLength =
            ReadContentLength(data + i + contentLengthNameLength, data + headerLength);
        break;
    }

    header->headerLength = static_cast<int>(headerLength);
    header->status = status;
    return 0;
}
