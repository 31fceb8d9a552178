// The pure half of the HTTP/1.0 client: URL texts taken apart, request bytes built
// into the fixed request buffer (also the CONNECT of a tunnel), and response heads read. Nothing here touches a
// socket or a file; the client in http_client_win.cpp does the I/O around it.
#pragma once

#include <stddef.h>

// Fixed sizes and limits of the client.
const size_t requestBufferSize = 1024;  // the whole request, its NUL included
const size_t receiveBlockSize = 2048;   // one receive; the head must arrive in the first
const size_t maxLocationLength = 1024;  // characters of a Location value that are kept
const size_t maxUrlTextLength = 199;    // target and proxy texts live in 200-byte arrays
const unsigned short defaultHttpPort = 80;
const unsigned short defaultHttpsPort = 443;
const int maxRedirections = 6;     // followed; the next one fails the fetch
const int maxConnectTimeouts = 7;  // time-outs of one ConnectHost before it gives up
const int maxSendTimeouts = 7;     // send time-outs of one GetFile
const int maxReceiveTimeouts = 7;  // receive time-outs in a row of one GetFile

// Results of the client's operations.
const int httpOk = 0;
const int httpError = -1;
const int httpTimeout = -2;
const int httpRedirected = -3;
const int httpWriteFailed = -4;  // the local file could not be created or written
// The server answered with a body longer than it announced or than the caller allows:
// no network failure, asking again (or by another road) would bring the same.
const int httpTooLong = -5;
// The connection could not be secured as an https target requires (the server's
// certificate, the protocol, a system without TLS 1.2), or a redirection led from https
// to plain http: the client's TlsRefusal says which. Never tried again by another road.
const int httpTlsRefused = -6;

// The status of a head that could not be read.
const int unparseableStatus = 1;

// One parsed URL. Every string is allocated separately and owned by the record;
// an absent part is null.
struct UrlParts {
    char* user;
    char* password;
    char* host;
    char* path;
    unsigned short port;
    bool secure;  // "https://": the connection to host is made over TLS
};

// A port as a site or URL writes it: decimal digits only (leading zeros allowed), no
// sign, blank or other text, value 1 to 65535. length counts the characters to read.
bool ParsePort(const char* text, size_t length, unsigned short* port);
// The port written after the ":" at colon, up to the next "/" or the end, as ParsePort
// reads it.
bool ParsePortAfterColon(const char* colon, unsigned short* port);

// Takes an URL text apart: optional "http://" or "https://" (secure) in any case,
// optional user part ending at the last "@" (user, then password after its first ":"),
// host up to the first ":" and the port after it up to the next "/" (80, or 443 for
// https, when absent; 0, which no connection reaches, when ParsePort refuses it),
// optional path from the first "/" after the host.
// Returns a new record, or null when memory ran out.
UrlParts* ParseUrl(const char* text);

// The length of the "http://" or "https://" (written so, in lower case) a component's
// site begins with, else 0: what the http worker takes off, https making it secure.
size_t SiteSchemeLength(const char* site);
// Whether a site text starts with "https://".
bool IsSecureSite(const char* site);

// Frees a record made by ParseUrl (or by CopyUrlParts); null is allowed.
void FreeUrl(UrlParts* url);

// The target a redirection from current leads to, as a new record:
// - "http://..." or "https://..." in any case, or "//..." (current's scheme): the URL it
//   names. When its host (ignoring
//   case) and port are current's it takes current's user and password (an absent one
//   becoming empty) instead of its own; on any other host or port it has none, so that
//   credentials only go where they were given for.
// - "/...": current's host, port and credentials with this path.
// - any other text is a path relative to current's: it replaces what follows the last
//   "/" of current's path.
// - a relative location keeps current's scheme.
// Null when location names another scheme ("ftp://..."), leads from https to plain http
// (IsSecurityDowngrade) or memory ran out.
UrlParts* ResolveLocation(const UrlParts* current, const char* location);

// Whether a redirection from current to location would leave TLS: from an https target
// to an "http://" one. Such a link is refused, never followed.
bool IsSecurityDowngrade(const UrlParts* current, const char* location);

// Writes the GET request for target (through proxy when it is not null) into out,
// which holds size bytes. A secure target goes through a proxy in a tunnel
// (BuildConnectRequest): its request is the one for the server itself, and the proxy's
// credentials stay out of it. requestPath, when not null, replaces the target's path; a
// request without any path asks for "/". Returns the length of the request, or -1
// (out empty) when it does not fit size bytes with its terminating NUL.
// A log-on exchange's header line stands in place of the proxy's or the server's Basic
// credentials (an empty one: no credentials at all for that side).
struct RequestCredentials {
    const char* proxyLine = nullptr;
    const char* serverLine = nullptr;
};
int BuildRequest(const UrlParts* target, const UrlParts* proxy, const char* requestPath, char* out,
                 size_t size, const RequestCredentials& credentials = RequestCredentials());

// Writes the CONNECT request that asks proxy for a tunnel to target's host and port
// ("CONNECT host:port HTTP/1.0", Host, and the proxy's Basic credentials when it has
// them). Returns its length, or -1 (out empty) when it does not fit.
// A non-null proxyLine stands in place of the Basic credentials, as in BuildRequest.
int BuildConnectRequest(const UrlParts* target, const UrlParts* proxy, char* out, size_t size,
                        const char* proxyLine = nullptr);

// How many bytes a body may have: the smaller of its announced contentLength and the
// client's limit, either negative when there is none; negative when nothing bounds it.
long long BodyAllowance(long long contentLength, long long limit);

// The pace of one response: at least minimumBytes must arrive within every window of
// windowMilliseconds, so that a peer sending a byte now and then cannot hold a transfer
// for ever (each byte would reset a mere time-out). A minimum of 0 never stops anything.
// Times are millisecond ticks that may wrap around.
class TransferPace {
public:
    TransferPace(unsigned windowMilliseconds, unsigned minimumBytes)
        : window(windowMilliseconds), minimum(minimumBytes) {}
    void Start(unsigned now) {
        windowStart = now;
        bytesInWindow = 0;
    }
    // Counts count bytes that arrived at now. False when a window ended before them with
    // fewer than the minimum: the transfer is too slow.
    bool Arrived(unsigned now, size_t count);

private:
    unsigned window;
    unsigned minimum;
    unsigned windowStart = 0;
    size_t bytesInWindow = 0;
};

// What a response head says.
struct ResponseHeader {
    int headerLength;                      // bytes up to and including the blank line
    int status;                            // three-digit code, or unparseableStatus
    char location[maxLocationLength + 1];  // Location value, empty if none
    long long contentLength;               // Content-Length value, -1 if none or unreadable
    // The server keeps the connection for another request: "Connection: keep-alive"
    // (without "close") and a Content-Length.
    bool keepsConnection;
};

// A header field's value within a head, without the blanks around it.
struct HeaderValue {
    const char* begin;
    const char* end;
};
// Finds the next header line called name from the line that starts at from (null: the
// first line after the status line, which is no header): the name at the very start of
// a line in any case, directly followed by ":". The value runs from there, blanks
// skipped, to the line end or its first CR. Returns where the next line starts (the
// head's end after the last), or null when no such line follows.
const char* FindHeaderAfter(const char* head, size_t headLength, const char* from, const char* name,
                            HeaderValue* value);

// Reads the response head at the start of length bytes of data. Returns 0, or -1
// with status unparseableStatus when the data is shorter than 15 bytes, does not
// start with "HTTP/" or holds no blank line (CR LF CR LF, else LF LF).
int ParseResponseHeader(const char* data, size_t length, ResponseHeader* header);
