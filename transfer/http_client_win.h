// The HTTP/1.0 client of the package fetch thread: GET requests direct or through a
// proxy, Basic authentication and the Windows log-on (NTLM, Negotiate) to proxies and
// servers, redirections, and fixed time-outs on a non-blocking
// socket; an https target over TLS (TlsChannel), through a proxy in a CONNECT tunnel.
// A connection the server keeps (keep-alive) carries the client's next request to the
// same place. Blocking from the caller's point of view.
#pragma once

#include "common/win32.h"
#include "transfer/http_auth.h"
#include "transfer/http_request.h"
#include "transfer/logon_auth_win.h"
#include "transfer/tls_channel_win.h"

// How long the client waits. The product always uses productHttpTimeouts; tests pass
// shorter ones so that no test sits out a real time-out.
struct HttpClientTimeouts {
    unsigned connectMilliseconds;          // one connection attempt
    unsigned transferMilliseconds;         // silence that ends one send or receive attempt
    unsigned wouldBlockPauseMilliseconds;  // pause when a readable socket would block
    // The slowest response still taken: at least paceMinimumBytes in every window of
    // paceWindowMilliseconds (a minimum of 0, the default, takes any pace). A slower one
    // fails the GetFile at once, without repeating the request.
    unsigned paceWindowMilliseconds = 0;
    unsigned paceMinimumBytes = 0;
};
extern const HttpClientTimeouts productHttpTimeouts;

class HttpClient {
public:
    explicit HttpClient(int verbosity, const HttpClientTimeouts& timeouts = productHttpTimeouts);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Replaces target and proxy (null or empty proxyText: direct). False when a text is
    // longer than maxUrlTextLength, does not parse or memory ran out: then no target is
    // set and GetFile fails.
    bool SetTarget(const char* targetText, const char* proxyText);

    // Fetches the target into localPath: httpOk (0) when the body of a 200 response is
    // complete there; httpWriteFailed when the local file could not be written,
    // httpTooLong when the body ran past its Content-Length or the body limit,
    // httpTlsRefused when an https target could not be reached securely (TlsRefusalMade
    // says why), -1 on every other failure. A non-null requestPath replaces the target's path until a
    // redirection has been taken.
    int GetFile(const char* requestPath, const char* localPath);

    // Connects and sends the request for the target ahead of the GetFile that takes its
    // answer, so that the answer can travel while the caller finishes other work. Only a
    // GetFile without a requestPath takes the open request, on its first connection;
    // SetTarget and CloseRequest drop it. False when no connection could be made or the
    // request not sent: GetFile then starts afresh.
    bool OpenRequest();
    bool HasOpenRequest() const { return openSocket != INVALID_SOCKET; }
    void CloseRequest();
    // Ends the connection kept for the next request, if there is one.
    void CloseKeptConnection();

    // While set, the body of a 200 response also goes to copy, as far as capacity bytes;
    // BodyCopied says whether the whole body of the last GetFile is there, and its length.
    void SetBodyCopy(char* copy, size_t capacity) {
        bodyCopy = copy;
        bodyCopyCapacity = capacity;
    }
    bool BodyCopied(size_t& length) const {
        length = bodyCopyLength;
        return bodyCopy != nullptr && bodyCopyComplete;
    }

    // The most bytes a body may have (negative: no limit). A body longer than this, or
    // longer than its announced Content-Length, makes GetFile fail with httpTooLong, and
    // nothing beyond it is written. Stays in force for later calls until changed.
    void SetBodyLimit(long long maxBytes) { bodyLimit = maxBytes; }
    // Whether the last GetFile heard anything from a server or proxy (any status):
    // false when every connection was refused, timed out or the host was not found.
    bool ServerAnswered() const { return answered; }
    // The platform's error code (GetLastError) of the last httpWriteFailed: for example
    // ERROR_DISK_FULL or ERROR_HANDLE_DISK_FULL when the disk was full,
    // ERROR_ACCESS_DENIED or ERROR_SHARING_VIOLATION when the file could not be opened.
    unsigned long LastWriteError() const { return lastWriteError; }

    // Why the last GetFile or OpenRequest ended with httpTlsRefused.
    TlsRefusal TlsRefusalMade() const { return tlsRefusal; }

    const UrlParts* Target() const { return target; }
    const UrlParts* Proxy() const { return proxy; }

    // A flag that, once nonzero, makes every wait of the client fail within a quarter
    // of a second: an aborted fetch does not sit out the time-outs.
    void SetCancelFlag(volatile LONG* flag) { cancelFlag = flag; }

private:
    class SocketTransport;
    bool TakeTarget(const char* targetText, const char* proxyText);
    // The steps of one attempt, in the order GetFile uses them.
    int ResolveHostName();
    SOCKET ConnectHost();
    // Through the proxy's tunnel when there is one, then the handshake: httpOk, or the
    // failure (httpTlsRefused with tlsRefusal set).
    int SecureConnection(SOCKET& s);
    // A tunnel through the proxy, authenticated where it asks; s may be replaced by a
    // new connection when the proxy closed its own after a refusal.
    int OpenTunnel(SOCKET& s);
    int ReadTunnelAnswer(SOCKET s, ResponseHeader& header, char* head, int size);
    int SendAll(SOCKET s, const char* data, int length);
    // Receives size bytes, or fewer when the server closes; with returnEarly, returns
    // after the first receive that brought any.
    int ReceiveAll(SOCKET s, char* buffer, int size, bool returnEarly = false);
    int ReceiveFile(SOCKET s, const char* localPath);
    // The socket's own bytes, under TLS or without it: SendRaw all of them (waiting as
    // it must), ReceiveRaw what arrives within the transfer time-out.
    int SendRaw(SOCKET s, const char* data, int length);
    int ReceiveRaw(SOCKET s, char* buffer, int size);
    // One receive as recv does it, decrypted on a secure connection.
    int ReceiveSome(SOCKET s, char* buffer, int size);
    // Ends a connection; one whose response was complete says so to a TLS peer.
    void CloseConnection(SOCKET s, bool complete);
    void Log(int level, const char* format, ...);
    enum SocketWait { SocketReady, SocketTimedOut, SocketFailed };
    SocketWait SelectSocket(SOCKET s, bool forReading, unsigned milliseconds, bool* refused);
    // Waits until s is readable (forReading) or writable; SocketFailed also when cancelled.
    SocketWait WaitForSocket(SOCKET s, bool forReading, unsigned milliseconds);
    int TakeRedirection(const ResponseHeader& header);
    // Sends request on the kept connection when it leads to the same place, else on a new
    // one (reused says which); INVALID_SOCKET with failure httpTimeout when the send
    // timed out, httpError on any other failure.
    SOCKET SendRequest(const char* request, int length, int& failure, bool& reused);
    // The kept connection when it was made to the address, security and host of this
    // request and the server has sent nothing on it since (no close, no stray bytes);
    // INVALID_SOCKET otherwise, the kept connection then closed.
    SOCKET TakeKeptConnection();
    // Keeps s, whose response was complete, for the next request.
    void KeepConnection(SOCKET s);
    int ReceiveHead(SOCKET s, char* block, int size);
    void CopyBody(const char* data, long long offset, long long count);
    int ReceiveBody(SOCKET s, const char* localPath, char* block, int count,
                    const ResponseHeader& header);

    // Authentication to a proxy (407) or a server (401), in http_client_auth_win.cpp. A
    // tunnel's exchange with the proxy has state of its own: it happens while a request's
    // exchange with the server may wait for the tunnel's connection.
    struct AuthExchange {
        AuthExchange() = default;
        ~AuthExchange();
        AuthExchange(const AuthExchange&) = delete;
        AuthExchange& operator=(const AuthExchange&) = delete;
        void Reset();
        AuthOffer offer = {};
        bool forProxy = true;
        AuthAttempt attempt = AuthAttempt::None;
        AuthScheme scheme = AuthScheme::None;
        int legs = 0;                  // tokens sent in the exchange under way
        bool freshConnection = false;  // the next attempt goes on a new connection
        LogonExchange logon;
        // One heap block: the token, the header line around it, the request around that.
        char* buffer = nullptr;
        char* token = nullptr;
        char* line = nullptr;
        char* request = nullptr;
    };
    static const int httpAuthWanted = -101;  // a 401 or 407 that an attempt may answer
    bool IsAuthRequest(const ResponseHeader& header) const;
    // Reads the offer and the rest of the refusal; true when its connection can be kept.
    bool TakeAuthRequest(AuthExchange& auth, SOCKET s, char* block, int count,
                         const ResponseHeader& header);
    bool ContinueExchange(AuthExchange& auth, bool connectionKept);
    bool StartNextAttempt(AuthExchange& auth);
    bool NextAuthLine(AuthExchange& auth, bool connectionKept, const char*& line);
    // The request of the next attempt in requestAuth.request: its length, or -1 when no
    // attempt is left.
    int NextAuthRequest(const char* requestPath, bool connectionKept);
    // The same for a tunnel's CONNECT.
    int NextTunnelRequest(bool connectionKept, char*& request);
    // What a first request carries: Basic credentials unless a log-on is known wanted.
    RequestCredentials UnaskedCredentials();

    int verbosity;
    AuthExchange requestAuth;
    AuthExchange tunnelAuth;
    // The proxy or the server asked for a log-on scheme the system has: no Basic
    // credentials go to it unasked any more.
    bool proxyWantsLogon = false;
    bool serverWantsLogon = false;
    bool proxyBasicSent = false;   // the latest request carried the proxy's Basic credentials
    bool serverBasicSent = false;  // ... the server's
    UrlParts* target = nullptr;
    UrlParts* proxy = nullptr;
    const char* connectHost = nullptr;
    HttpClientTimeouts timeouts;
    sockaddr_in address = {};
    volatile LONG* cancelFlag = nullptr;
    bool moreQueued = false;  // the last receive filled its buffer
    TransferPace pace;
    long long bodyLimit = -1;
    bool answered = false;
    unsigned long lastWriteError = 0;
    SOCKET openSocket = INVALID_SOCKET;  // a request sent ahead (OpenRequest)
    bool openReused = false;             // ... on a kept connection
    // The connection kept after a complete response, and where it leads.
    SOCKET keptSocket = INVALID_SOCKET;
    sockaddr_in keptAddress = {};
    bool keptSecure = false;
    char keptHost[256] = {};
    unsigned short keptPort = 0;
    bool keepThisConnection = false;  // the response just read lets its connection be kept
    // The TLS of the one connection the client has at a time (the open request's, the
    // kept one, or GetFile's own).
    TlsChannel tls;
    TlsRefusal tlsRefusal = TlsRefusal::None;
    bool closedWithoutNotify = false;  // the TLS peer closed without its close_notify
    char* bodyCopy = nullptr;
    size_t bodyCopyCapacity = 0;
    size_t bodyCopyLength = 0;
    bool bodyCopyComplete = false;
};
