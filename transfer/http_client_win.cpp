// The HTTP/1.0 client: connection, request, response and redirections over WinSock 1.1,
// over TLS for https targets, with connections kept for the next request. Parsing and request building are in http_request.cpp, the
// TLS records in tls_channel_win.cpp; this file only waits, sends, receives and writes
// the local file.
#include "transfer/http_client_win.h"

#include "common/run_log_win.h"

#include <stdarg.h>
#include <string.h>

// A response slower than 8 KiB a minute (about 136 bytes a second, far below any real
// link) is abandoned: together with the body limit this bounds the time of one GetFile.
const HttpClientTimeouts productHttpTimeouts = {15000, 40000, 1000, 60000, 8192};

namespace {

const char getFileName[] = "HttpClient::GetFile";
const char connectHostName[] = "HttpClient::ConnectHost";
const char resolveHostName[] = "HttpClient::ResolveHostName";
const char receiveFileName[] = "HttpClient::ReceiveFile";
const char sendAllName[] = "HttpClient::SendAll";
const char receiveAllName[] = "HttpClient::ReceiveAll";

const int levelError = 1;
const int levelProgress = 2;
const int levelDetail = 3;

const int statusOk = 200;
const int statusMovedPermanently = 301;
const int statusFound = 302;

// ReceiveFile's own result: the connection ended before any byte of a response. On a kept
// connection that is a server that closed it meanwhile, and the request goes again on a
// new one; elsewhere it is an error like any other.
const int connectionDropped = -100;

// One write of the body to the local file: one block of this size at most, filled by as
// many receives as it takes.
const size_t bodyBlockSize = 64 * 1024;
static_assert(bodyBlockSize >= receiveBlockSize, "the head is read into the body block");

timeval ToTimeval(unsigned milliseconds) {
    timeval t;
    t.tv_sec = static_cast<long>(milliseconds / 1000);
    t.tv_usec = static_cast<long>(milliseconds % 1000) * 1000;
    return t;
}

// Writes all of count bytes; false (the reason in GetLastError) when they were not.
bool WriteAll(HANDLE file, const char* data, DWORD count) {
    DWORD written = 0;
    if (count == 0) return true;
    if (WriteFile(file, data, count, &written, nullptr) && written == count) return true;
    // A short write that reports success leaves no error code of its own.
    if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_WRITE_FAULT);
    return false;
}

}  // namespace

// The socket as the TLS channel sees it during the handshake and for what it sends.
class HttpClient::SocketTransport : public TlsTransport {
public:
    SocketTransport(HttpClient& client, SOCKET s) : client(client), s(s) {}
    int SendAll(const char* data, int length) override { return client.SendRaw(s, data, length); }
    int ReceiveSome(char* buffer, int size) override { return client.ReceiveRaw(s, buffer, size); }

private:
    HttpClient& client;
    SOCKET s;
};

HttpClient::HttpClient(int verbosity, const HttpClientTimeouts& timeouts)
    : verbosity(verbosity),
      timeouts(timeouts),
      pace(timeouts.paceWindowMilliseconds, timeouts.paceMinimumBytes) {}

HttpClient::~HttpClient() {
    CloseRequest();
    CloseKeptConnection();
    FreeUrl(target);
    FreeUrl(proxy);
}

void HttpClient::Log(int level, const char* format, ...) {
    // Errors and the steps of a request go to the run's log; the byte counts only to a
    // console asked for by verbosity.
    if (verbosity < level && level > levelProgress) return;
    // wvsprintfA writes at most 1024 characters; the formats hold only %s, %d and %u.
    char line[1025];
    va_list arguments;
    va_start(arguments, format);
    int length = wvsprintfA(line, format, arguments);
    va_end(arguments);
    if (length <= 0) return;
    // The run's log names the step without the class: "http: GetFile: ...".
    const char* step = strncmp(line, "HttpClient::", 12) == 0 ? line + 12 : line;
    if (level <= levelProgress) LogEvent("http: %s", step);
    DWORD written = 0;
    // The console trace is best effort: a run without a console loses it.
    if (verbosity >= level)
        (void)WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, length, &written, nullptr);
}

namespace {

// Whether a and b lead to the same host and port (both null: no proxy).
bool SamePlace(const UrlParts* a, const UrlParts* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return a->port == b->port && EqualsIgnoringCase(a->host, b->host);
}

}  // namespace

bool HttpClient::SetTarget(const char* targetText, const char* proxyText) {
    UrlParts* formerTarget = target;
    UrlParts* formerProxy = proxy;
    target = nullptr;
    proxy = nullptr;
    const bool set = TakeTarget(targetText, proxyText);
    // What a proxy or server wanted holds for the same one only.
    if (!SamePlace(formerProxy, proxy)) proxyWantsLogon = false;
    if (!SamePlace(formerTarget, target)) serverWantsLogon = false;
    FreeUrl(formerTarget);
    FreeUrl(formerProxy);
    return set;
}

bool HttpClient::TakeTarget(const char* targetText, const char* proxyText) {
    CloseRequest();
    target = nullptr;
    proxy = nullptr;
    connectHost = nullptr;
    // The texts come from 200-byte arrays; anything longer was cut on its way here
    // and would name the wrong place.
    if (targetText == nullptr ||
        BoundedLength(targetText, maxUrlTextLength + 1) > maxUrlTextLength) {
        return false;
    }
    if (proxyText != nullptr && BoundedLength(proxyText, maxUrlTextLength + 1) > maxUrlTextLength) {
        return false;
    }
    target = ParseUrl(targetText);
    if (target == nullptr) return false;
    if (proxyText != nullptr && proxyText[0] != '\0') {
        proxy = ParseUrl(proxyText);
        if (proxy == nullptr) {
            FreeUrl(target);
            target = nullptr;
            return false;
        }
    }
    return true;
}

int HttpClient::ResolveHostName() {
    if (target == nullptr) return httpError;
    const UrlParts* via = proxy != nullptr ? proxy : target;
    connectHost = via->host;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    unsigned long dotted = inet_addr(connectHost);
    if (dotted != INADDR_NONE) {
        address.sin_addr.s_addr = dotted;
    } else {
        // An empty host would make WinSock answer with the local machine.
        hostent* entry = connectHost[0] != '\0' ? gethostbyname(connectHost) : nullptr;
        if (entry == nullptr || entry->h_addrtype != AF_INET ||
            entry->h_length != sizeof address.sin_addr || entry->h_addr_list[0] == nullptr) {
            Log(levelError, "%s: Can't find host %s (err=%d)\n", resolveHostName, connectHost,
                WSAGetLastError());
            return httpError;
        }
        memcpy(&address.sin_addr, entry->h_addr_list[0], sizeof address.sin_addr);
    }
    address.sin_port = htons(via->port);
    return httpOk;
}

SOCKET HttpClient::ConnectHost() {
    for (int timeoutCount = 0;;) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
        if (s == INVALID_SOCKET) {
            Log(levelError, "%s: Bad socket(): (err=%d)\n", connectHostName, WSAGetLastError());
            return INVALID_SOCKET;
        }
        u_long nonBlocking = 1;
        if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
            Log(levelError, "%s: Bad ioctl() (err=%d)\n", connectHostName, WSAGetLastError());
            closesocket(s);
            return INVALID_SOCKET;
        }
        if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK && error != WSAEINPROGRESS) {
                Log(levelError, "%s: no connection to %s (err=%d)\n", connectHostName, connectHost,
                    error);
                closesocket(s);
                return INVALID_SOCKET;
            }
            // A refused connection shows in the exception set, not as writable: without
            // it every refusal would sit out all the time-outs.
            bool refused = false;
            SocketWait ready = SelectSocket(s, false, timeouts.connectMilliseconds, &refused);
            if (ready == SocketFailed) {
                Log(levelError, "%s: Bad select(): (err=%d)\n", connectHostName, WSAGetLastError());
                closesocket(s);
                return INVALID_SOCKET;
            }
            if (ready == SocketTimedOut) {
                closesocket(s);
                if (++timeoutCount < maxConnectTimeouts) continue;
                Log(levelError, "%s: no connection to %s: too many time-outs\n", connectHostName,
                    connectHost);
                return INVALID_SOCKET;
            }
            int socketError = 0;
            int optionLength = sizeof socketError;
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socketError),
                       &optionLength);
            if (refused || socketError != 0) {
                Log(levelError, "%s: no connection to %s (err=%d)\n", connectHostName, connectHost,
                    socketError);
                closesocket(s);
                return INVALID_SOCKET;
            }
        }
        Log(levelProgress, "%s: connected to %s port %u\n", connectHostName, connectHost,
            static_cast<unsigned>(ntohs(address.sin_port)));
        return s;
    }
}

// Waits for one socket in short slices, so that a cancelled fetch ends within one slice
// instead of sitting out a whole time-out. For writing, a connection that failed shows
// in the exception set and is reported through refused.
HttpClient::SocketWait HttpClient::SelectSocket(SOCKET s, bool forReading, unsigned milliseconds,
                                                bool* refused) {
    const unsigned sliceMilliseconds = 250;
    unsigned waited = 0;
    for (;;) {
        if (cancelFlag != nullptr && *cancelFlag != 0) return SocketFailed;
        unsigned slice =
            milliseconds - waited < sliceMilliseconds ? milliseconds - waited : sliceMilliseconds;
        fd_set set, failed;
        FD_ZERO(&set);
        FD_ZERO(&failed);
        FD_SET(s, &set);
        FD_SET(s, &failed);
        timeval limit = ToTimeval(slice);
        int ready = forReading ? select(0, &set, nullptr, nullptr, &limit)
                               : select(0, nullptr, &set, &failed, &limit);
        if (ready == SOCKET_ERROR) return SocketFailed;
        if (ready > 0) {
            if (refused != nullptr) *refused = !forReading && FD_ISSET(s, &failed);
            return SocketReady;
        }
        waited += slice;
        if (waited >= milliseconds) return SocketTimedOut;
    }
}

HttpClient::SocketWait HttpClient::WaitForSocket(SOCKET s, bool forReading, unsigned milliseconds) {
    return SelectSocket(s, forReading, milliseconds, nullptr);
}

int HttpClient::SendAll(SOCKET s, const char* data, int length) {
    if (!tls.IsOpen()) return SendRaw(s, data, length);
    SocketTransport transport(*this, s);
    return tls.Send(transport, data, length);
}

int HttpClient::SendRaw(SOCKET s, const char* data, int length) {
    int sent = 0;
    while (sent < length) {
        int count = send(s, data + sent, length - sent, 0);
        Log(levelDetail, "%s: sent %d bytes\n", sendAllName, count);
        if (count != SOCKET_ERROR) {
            sent += count;
            continue;
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            Log(levelProgress, "%s: Bad write() (err=%d)\n", sendAllName, WSAGetLastError());
            return httpError;
        }
        SocketWait ready = WaitForSocket(s, false, timeouts.transferMilliseconds);
        if (ready == SocketTimedOut) return httpTimeout;
        if (ready == SocketFailed) {
            Log(levelError, "%s: Bad select() (err=%d)\n", sendAllName, WSAGetLastError());
            return httpError;
        }
    }
    return length;
}

// After a receive that brought data the next one is tried at once, without a select:
// more is likely queued, and each socket call is costly under some WinSock layers. Only
// a receive that would block waits with select.
int HttpClient::ReceiveAll(SOCKET s, char* buffer, int size, bool returnEarly) {
    int received = 0;
    while (received < size) {
        if (cancelFlag != nullptr && *cancelFlag != 0) return httpError;
        if (!moreQueued && !tls.HasPending()) {
            SocketWait ready = WaitForSocket(s, true, timeouts.transferMilliseconds);
            if (ready == SocketTimedOut) return httpTimeout;
            if (ready == SocketFailed) {
                Log(levelError, "%s: Bad select() (err=%d)\n", receiveAllName, WSAGetLastError());
                return httpError;
            }
        }
        int count = ReceiveSome(s, buffer + received, size - received);
        Log(levelDetail, "%s: recved %d bytes\n", receiveAllName, count);
        if (count == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) {
                // Readable yet nothing to read: pause; nothing queued: wait with select.
                if (!moreQueued) Sleep(timeouts.wouldBlockPauseMilliseconds);
                moreQueued = false;
                continue;
            }
            Log(levelError, "%s: Bad recv() (err=%d)\n", receiveAllName, WSAGetLastError());
            return httpError;
        }
        if (count == 0) {
            Log(levelError, "%s: connection closed by the server\n", receiveAllName);
            return received;
        }
        answered = true;
        if (!pace.Arrived(GetTickCount(), static_cast<size_t>(count))) {
            Log(levelError, "%s: too slow, fewer than %d bytes in %d ms\n", receiveAllName,
                static_cast<int>(timeouts.paceMinimumBytes),
                static_cast<int>(timeouts.paceWindowMilliseconds));
            return httpError;
        }
        moreQueued = true;
        received += count;
        if (returnEarly) return received;
    }
    return size;
}

// Like recv on the socket; on a secure connection the bytes are decrypted first, and a
// peer's close_notify reads as the end of the connection.
int HttpClient::ReceiveSome(SOCKET s, char* buffer, int size) {
    if (!tls.IsOpen()) return recv(s, buffer, size, 0);
    for (;;) {
        int taken = tls.Take(buffer, size);
        if (taken > 0) return taken;
        switch (tls.Decrypt()) {
        case TlsChannel::Decrypted:
            continue;
        case TlsChannel::PeerClosed:
            return 0;
        case TlsChannel::DecryptFailed:
            WSASetLastError(WSAECONNABORTED);
            return SOCKET_ERROR;
        case TlsChannel::NeedMore:
            break;
        }
        int room = 0;
        char* space = tls.ReceiveSpace(room);
        if (room == 0) {
            WSASetLastError(WSAEMSGSIZE);
            return SOCKET_ERROR;
        }
        int count = recv(s, space, room, 0);
        if (count == SOCKET_ERROR) return SOCKET_ERROR;
        if (count == 0) {
            closedWithoutNotify = true;
            return 0;
        }
        tls.Received(count);
    }
}

// The handshake's receive: waits for the socket, then takes what is there.
int HttpClient::ReceiveRaw(SOCKET s, char* buffer, int size) {
    for (;;) {
        SocketWait ready = WaitForSocket(s, true, timeouts.transferMilliseconds);
        if (ready == SocketTimedOut) return httpTimeout;
        if (ready == SocketFailed) return httpError;
        int count = recv(s, buffer, size, 0);
        if (count == SOCKET_ERROR) {
            if (WSAGetLastError() != WSAEWOULDBLOCK) return httpError;
            continue;
        }
        if (count > 0) answered = true;
        return count;
    }
}

// The proxy's answer to a CONNECT, read byte by byte up to its blank line so that
// nothing of the server's is taken with it: the head's length, or a failure.
int HttpClient::ReadTunnelAnswer(SOCKET s, ResponseHeader& header, char* head, int size) {
    pace.Start(GetTickCount());
    int count = 0;
    for (;;) {
        if (count == size) return httpError;
        int got = ReceiveRaw(s, head + count, 1);
        if (got <= 0) return got < 0 ? got : httpError;
        ++count;
        bool ended = (count >= 4 && memcmp(head + count - 4, "\r\n\r\n", 4) == 0) ||
                     (count >= 2 && memcmp(head + count - 2, "\n\n", 2) == 0);
        if (ended) break;
    }
    ParseResponseHeader(head, static_cast<size_t>(count), &header);
    return count;
}

// A tunnel through the proxy to the target's host and port. A proxy that asks for
// authentication gets the next attempt, on this connection when it keeps it, else on a
// new one.
int HttpClient::OpenTunnel(SOCKET& s) {
    char firstRequest[requestBufferSize];
    tunnelAuth.Reset();
    char* request = firstRequest;
    int length = BuildConnectRequest(target, proxy, firstRequest, sizeof firstRequest,
                                     UnaskedCredentials().proxyLine);
    for (;;) {
        if (length < 0) return httpError;
        int sent = SendRaw(s, request, length);
        if (sent != length) return sent < 0 ? sent : httpError;
        char head[receiveBlockSize];
        ResponseHeader header;
        int count = ReadTunnelAnswer(s, header, head, static_cast<int>(sizeof head));
        if (count < 0) return count;
        if (header.status == statusOk) return httpOk;
        if (header.status != statusProxyAuthenticationRequired) {
            Log(levelError, "%s: the proxy refused the tunnel (%d)\n", connectHostName,
                header.status);
            return httpError;
        }
        const bool kept = TakeAuthRequest(tunnelAuth, s, head, count, header);
        length = NextTunnelRequest(kept, request);
        if (length < 0) return httpError;
        if (!kept || tunnelAuth.freshConnection) {
            closesocket(s);
            s = ConnectHost();
            if (s == INVALID_SOCKET) return httpError;
        }
    }
}

int HttpClient::SecureConnection(SOCKET& s) {
    closedWithoutNotify = false;
    if (proxy != nullptr) {
        int tunnel = OpenTunnel(s);
        if (tunnel != httpOk) return tunnel;
    }
    SocketTransport transport(*this, s);
    int result = tls.Open(transport, target->host);
    if (result == httpTlsRefused) {
        tlsRefusal = tls.Refusal();
        Log(levelError, "%s: no secure connection to %s (refusal %d)\n", connectHostName,
            target->host, static_cast<int>(tlsRefusal));
    }
    return result;
}

void HttpClient::CloseConnection(SOCKET s, bool complete) {
    if (tls.IsOpen()) {
        SocketTransport transport(*this, s);
        tls.Close(complete ? &transport : nullptr);
    }
    closesocket(s);
}

int HttpClient::TakeRedirection(const ResponseHeader& header) {
    if (IsSecurityDowngrade(target, header.location)) {
        Log(levelError, "%s: Location leaves https: %s\n", receiveFileName, header.location);
        tlsRefusal = TlsRefusal::Downgrade;
        return httpTlsRefused;
    }
    UrlParts* next = ResolveLocation(target, header.location);
    if (next == nullptr) {
        Log(levelError, "%s: Location not followed: %s\n", receiveFileName, header.location);
        return httpError;
    }
    // An absolute link with an empty host ("http:///x") names no server to reach.
    if (next->host[0] == '\0') {
        Log(levelError, "%s: Location without a host: %s\n", receiveFileName, header.location);
        FreeUrl(next);
        return httpError;
    }
    // A Location of up to maxLocationLength characters can make a request that does
    // not fit the request buffer; such a link is refused here, while the current
    // target still stands.
    char request[requestBufferSize];
    if (BuildRequest(next, proxy, nullptr, request, sizeof request) < 0) {
        Log(levelError, "%s: Location too long for a request\n", receiveFileName);
        FreeUrl(next);
        return httpError;
    }
    FreeUrl(target);
    target = next;
    connectHost = nullptr;
    return httpRedirected;
}

// Writes the body of a 200 response into localPath: the count bytes of block after the
// head, then what follows until the server closes. The body may not run past its
// Content-Length nor past the body limit: nothing beyond the smaller of the two is
// written, and a body that goes on fails.
int HttpClient::ReceiveBody(SOCKET s, const char* localPath, char* block, int count,
                            const ResponseHeader& header) {
    const long long allowed = BodyAllowance(header.contentLength, bodyLimit);
    long long pending = count - header.headerLength;
    // Known to be too long already: the local file is not touched.
    if (allowed >= 0 && (header.contentLength > allowed || pending > allowed)) {
        Log(levelError, "%s: body longer than its Content-Length or the limit\n", receiveFileName);
        return httpTooLong;
    }
    HANDLE file = CreateFileA(localPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        lastWriteError = GetLastError();
        Log(levelError, "%s: Can't open %s (err=%d)\n", receiveFileName, localPath,
            static_cast<int>(lastWriteError));
        return httpWriteFailed;
    }
    const char* data = block + header.headerLength;
    long long bodyLength = 0;
    int result = httpOk;
    for (;;) {
        if (!WriteAll(file, data, static_cast<DWORD>(pending))) {
            lastWriteError = GetLastError();
            result = httpWriteFailed;
            break;
        }
        if (bodyCopy != nullptr) CopyBody(data, bodyLength, pending);
        bodyLength += pending;
        // A kept connection ends its body at the announced length: nothing more comes
        // until the next request.
        if (header.keepsConnection && bodyLength == header.contentLength) {
            keepThisConnection = true;
            break;
        }
        // Never more than the allowance; once it is reached, one byte more would show a
        // body running past it.
        int want = static_cast<int>(bodyBlockSize);
        if (allowed >= 0 && allowed - bodyLength < want)
            want = allowed > bodyLength ? static_cast<int>(allowed - bodyLength) : 1;
        count = ReceiveAll(s, block, want);
        Log(levelDetail, "%s: ReceiveAll returned %d\n", receiveFileName, count);
        if (count == 0) break;
        // All the announced bytes are there; a server that leaves the connection open
        // after them has sent the whole body.
        if (count == httpTimeout && bodyLength == header.contentLength) break;
        if (count < 0) {
            Log(levelError, "%s: Can't read (%s)\n", receiveFileName,
                count == httpTimeout ? "TIME-OUT" : "error");
            result = count;
            break;
        }
        if (allowed >= 0 && count > allowed - bodyLength) {
            Log(levelError, "%s: body runs past %d bytes\n", receiveFileName,
                static_cast<int>(allowed));
            result = httpTooLong;
            break;
        }
        data = block;
        pending = count;
    }
    // A failing close can lose the last bytes written: that is a write failure.
    if (!CloseHandle(file) && result == httpOk) {
        lastWriteError = GetLastError();
        result = httpWriteFailed;
    }
    if (result == httpWriteFailed) {
        Log(levelError, "%s: Can't write to %s (err=%d)\n", receiveFileName, localPath,
            static_cast<int>(lastWriteError));
        return result;
    }
    // The body ends when the server closes; a close before the announced length
    // means the connection broke, not that the file is complete.
    if (result == httpOk && header.contentLength >= 0 && bodyLength < header.contentLength) {
        Log(levelError, "%s: body ended before its Content-Length\n", receiveFileName);
        return httpError;
    }
    // Over TLS a body of no announced length ends with the server's close_notify; a bare
    // close may be someone on the road cutting it short.
    if (result == httpOk && header.contentLength < 0 && closedWithoutNotify) {
        Log(levelError, "%s: secure body ended without the server's close\n", receiveFileName);
        return httpError;
    }
    return result;
}

// Keeps count body bytes from offset on in the body copy; the copy stays complete only
// while every byte has fit.
void HttpClient::CopyBody(const char* data, long long offset, long long count) {
    if (offset == 0) bodyCopyComplete = true;
    if (!bodyCopyComplete) return;
    if (count > static_cast<long long>(bodyCopyCapacity) - offset) {
        bodyCopyComplete = false;
        return;
    }
    memcpy(bodyCopy + offset, data, static_cast<size_t>(count));
    bodyCopyLength = static_cast<size_t>(offset + count);
}

int HttpClient::ReceiveFile(SOCKET s, const char* localPath) {
    // The head must come within the first receiveBlockSize bytes; the body then arrives
    // in blocks of the whole buffer.
    char block[bodyBlockSize];
    moreQueued = false;  // a new response: wait for its first data
    keepThisConnection = false;
    pace.Start(GetTickCount());
    int count = ReceiveHead(s, block, static_cast<int>(receiveBlockSize));
    if (count < 0) return count;

    ResponseHeader header;
    ParseResponseHeader(block, static_cast<size_t>(count), &header);

    if (header.status == statusOk) return ReceiveBody(s, localPath, block, count, header);
    if (IsAuthRequest(header)) {
        keepThisConnection = TakeAuthRequest(requestAuth, s, block, count, header);
        return httpAuthWanted;
    }

    if (header.status == statusMovedPermanently || header.status == statusFound) {
        if (header.location[0] == '\0') {
            Log(levelError, "%s: Status-Code = %d but no Location: field\n", receiveFileName,
                header.status);
            return httpError;
        }
        return TakeRedirection(header);
    }

    Log(levelProgress, "%s: Got HTTP code %d\n", receiveFileName, header.status);
    return httpError;
}

// Receives the head with what of the body fits the block, until the block is full, the
// server closes or a kept connection's body is all there; connectionDropped when the
// server closed before sending anything.
int HttpClient::ReceiveHead(SOCKET s, char* block, int size) {
    int count = 0;
    while (count < size) {
        int got = ReceiveAll(s, block + count, size - count, true);
        if (got < 0) return count == 0 && got == httpError ? connectionDropped : got;
        if (got == 0) return count == 0 ? connectionDropped : count;
        count += got;
        // A kept connection's response ends at its length: no more is waited for than
        // that. Any other fills the block or ends with the connection, as the body
        // would, so that a body known too long in its first block never touches the file.
        ResponseHeader header;
        if (ParseResponseHeader(block, static_cast<size_t>(count), &header) == 0 &&
            header.keepsConnection && count - header.headerLength >= header.contentLength)
            break;
    }
    return count;
}

SOCKET HttpClient::TakeKeptConnection() {
    SOCKET s = keptSocket;
    if (s == INVALID_SOCKET) return INVALID_SOCKET;
    keptSocket = INVALID_SOCKET;
    const bool samePlace =
        keptAddress.sin_addr.s_addr == address.sin_addr.s_addr &&
        keptAddress.sin_port == address.sin_port && keptSecure == target->secure &&
        (!keptSecure || (keptPort == target->port && EqualsIgnoringCase(keptHost, target->host)));
    // Readable now means closed, or bytes nobody asked for: either way not for this request.
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval now = {0, 0};
    const bool quiet = select(0, &readable, nullptr, nullptr, &now) == 0 && !tls.HasPending();
    if (samePlace && quiet) return s;
    CloseConnection(s, quiet);
    return INVALID_SOCKET;
}

void HttpClient::KeepConnection(SOCKET s) {
    CloseKeptConnection();
    if (!CopyText(keptHost, target->host)) {
        CloseConnection(s, true);
        return;
    }
    keptSocket = s;
    keptAddress = address;
    keptSecure = target->secure;
    keptPort = target->port;
}

void HttpClient::CloseKeptConnection() {
    if (keptSocket != INVALID_SOCKET) CloseConnection(keptSocket, true);
    keptSocket = INVALID_SOCKET;
}

// Sends one request, on the kept connection when it leads to the same place.
SOCKET HttpClient::SendRequest(const char* request, int length, int& failure, bool& reused) {
    failure = httpError;
    reused = false;
    SOCKET kept = TakeKeptConnection();
    if (kept != INVALID_SOCKET) {
        if (SendAll(kept, request, length) == length) {
            reused = true;
            return kept;
        }
        CloseConnection(kept, false);
    }
    SOCKET s = ConnectHost();
    if (s == INVALID_SOCKET) {
        Log(levelError, "%s: Can't connect.\n", getFileName);
        return INVALID_SOCKET;
    }
    if (target->secure) {
        int secured = SecureConnection(s);
        if (secured != httpOk) {
            CloseConnection(s, false);
            failure = secured == httpTimeout || secured == httpTlsRefused ? secured : httpError;
            return INVALID_SOCKET;
        }
    }
    int sent = SendAll(s, request, length);
    if (sent == length) return s;
    CloseConnection(s, false);
    if (sent == httpTimeout) {
        Log(levelProgress, "%s: send timed-out\n", getFileName);
        failure = httpTimeout;
    } else {
        Log(levelError, "%s: Bad SendAll() (err=%d)\n", getFileName, WSAGetLastError());
    }
    return INVALID_SOCKET;
}

bool HttpClient::OpenRequest() {
    CloseRequest();
    tlsRefusal = TlsRefusal::None;
    if (ResolveHostName() != httpOk) return false;
    char request[requestBufferSize];
    int requestLength =
        BuildRequest(target, proxy, nullptr, request, sizeof request, UnaskedCredentials());
    if (requestLength < 0) return false;
    // As in GetFile, a send that timed out is tried again on a new connection.
    int failure = httpTimeout;
    for (int sendTimeouts = 0; failure == httpTimeout && sendTimeouts < maxSendTimeouts;
         ++sendTimeouts) {
        openSocket = SendRequest(request, requestLength, failure, openReused);
        if (openSocket != INVALID_SOCKET) return true;
    }
    return false;
}

void HttpClient::CloseRequest() {
    if (openSocket != INVALID_SOCKET) CloseConnection(openSocket, false);
    openSocket = INVALID_SOCKET;
}

int HttpClient::GetFile(const char* requestPath, const char* localPath) {
    answered = false;
    tlsRefusal = TlsRefusal::None;
    lastWriteError = 0;
    bodyCopyLength = 0;
    bodyCopyComplete = false;
    // A request sent ahead asked for the target's own path.
    if (requestPath != nullptr) CloseRequest();
    for (int redirections = 0;;) {
        if (ResolveHostName() != httpOk) return httpError;
        requestAuth.Reset();
        char firstRequest[requestBufferSize];
        const char* request = firstRequest;
        int requestLength = BuildRequest(target, proxy, requestPath, firstRequest,
                                         sizeof firstRequest, UnaskedCredentials());
        if (requestLength < 0) {
            Log(levelError, "%s: request does not fit %d bytes\n", getFileName,
                static_cast<int>(requestBufferSize));
            return httpError;
        }
        int sendTimeouts = 0;
        int receiveTimeouts = 0;
        int result = httpError;
        for (;;) {
            SOCKET s = openSocket;
            bool reused = openReused;
            openSocket = INVALID_SOCKET;
            int failure = httpError;
            if (s == INVALID_SOCKET) s = SendRequest(request, requestLength, failure, reused);
            if (s == INVALID_SOCKET) {
                if (failure == httpTlsRefused) return httpTlsRefused;
                if (failure != httpTimeout) return httpError;
                if (++sendTimeouts < maxSendTimeouts) continue;
                Log(levelError, "%s: SendAll too many time-outs\n", getFileName);
                return httpError;
            }
            result = ReceiveFile(s, localPath);
            if (result == connectionDropped && reused) {
                // The server closed the kept connection meanwhile: the same request on a
                // new one (the kept connection is gone, so the next send makes one).
                Log(levelProgress, "%s: kept connection closed by the server\n", getFileName);
                CloseConnection(s, false);
                continue;
            }
            if (result == connectionDropped) result = httpError;
            if (result == httpAuthWanted) {
                const bool kept = keepThisConnection;
                if (kept)
                    KeepConnection(s);
                else
                    CloseConnection(s, true);
                requestLength = NextAuthRequest(requestPath, kept);
                if (requestLength < 0) return httpError;
                if (requestAuth.freshConnection) CloseKeptConnection();
                request = requestAuth.request;
                continue;
            }
            if (result == httpOk && keepThisConnection)
                KeepConnection(s);
            else
                CloseConnection(s, result == httpOk);
            if (result != httpTimeout) break;
            Log(levelProgress, "%s: recv timed-out\n", getFileName);
            // The whole request is repeated on a new connection; the send count starts
            // again, and silent servers are not asked for ever.
            sendTimeouts = 1;
            if (++receiveTimeouts >= maxReceiveTimeouts) {
                Log(levelError, "%s: recv too many time-outs\n", getFileName);
                return httpError;
            }
        }
        if (result == httpRedirected) {
            if (redirections >= maxRedirections) {
                Log(levelError, "%s: Too many links. (last link is %s/%s)\n", getFileName,
                    target->host, target->path != nullptr ? target->path : "");
                return httpError;
            }
            ++redirections;
            requestPath = nullptr;
            continue;
        }
        // A full disk is no network failure: asking the server again would not help.
        if (result == httpWriteFailed) return httpWriteFailed;
        if (result == httpTooLong) return httpTooLong;
        if (result == httpTlsRefused) return httpTlsRefused;
        if (result != httpOk) {
            Log(levelError, "%s: no file received\n", getFileName);
            return httpError;
        }
        return httpOk;
    }
}
