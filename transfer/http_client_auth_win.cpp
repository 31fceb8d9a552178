// The HTTP client's answers to a proxy (407) or a server (401) that asks for
// authentication: the user's own log-on through NTLM or Negotiate, then the account given,
// then Basic, in the order NextAuthAttempt decides. A log-on exchange is bound to its
// connection: each token goes on the connection that brought the challenge.
#include "transfer/http_client_win.h"

namespace {

const int levelError = 1;
const int levelProgress = 2;
const char authName[] = "HttpClient::Authenticate";

// The tokens of one exchange: NTLM takes two, Negotiate usually one or two. A peer
// that keeps asking for more is refusing.
const int maxExchangeLegs = 4;

// What of a refusal's body is read so that its connection can carry the next attempt;
// a longer body ends the connection instead.
const long long maxRefusalBodyBytes = 256 * 1024;

// One heap block: the token, the header line around it, and the request around that.
const size_t authTokenSize = maxLogonTokenTextLength + 1;
const size_t authLineSize = maxLogonTokenTextLength + 64;
const size_t authRequestSize = authLineSize + requestBufferSize;

}  // namespace

bool HttpClient::IsAuthRequest(const ResponseHeader& header) const {
    if (header.status == statusProxyAuthenticationRequired) return proxy != nullptr;
    return header.status == statusUnauthorized;
}

bool HttpClient::TakeAuthRequest(AuthExchange& auth, SOCKET s, char* block, int count,
                                 const ResponseHeader& header) {
    auth.forProxy = header.status == statusProxyAuthenticationRequired;
    ParseAuthOffer(block, static_cast<size_t>(header.headerLength),
                   auth.forProxy ? "Proxy-Authenticate" : "WWW-Authenticate", &auth.offer);
    if ((auth.offer.schemes & auth.logon.Available()) != 0)
        (auth.forProxy ? proxyWantsLogon : serverWantsLogon) = true;
    Log(levelProgress, "%s: %s asks for authentication (schemes %u)\n", authName,
        auth.forProxy ? "the proxy" : "the server", auth.offer.schemes);
    // The rest of the refusal, so that the next attempt can follow on this connection.
    if (!header.keepsConnection || header.contentLength > maxRefusalBodyBytes) return false;
    long long left = header.contentLength - (count - header.headerLength);
    while (left > 0) {
        const int want = left < static_cast<long long>(receiveBlockSize)
                             ? static_cast<int>(left)
                             : static_cast<int>(receiveBlockSize);
        const int got = ReceiveAll(s, block, want);
        if (got <= 0) return false;
        left -= got;
    }
    // Nothing more is queued for this response: the next one is waited for.
    moreQueued = false;
    return left == 0;
}

void HttpClient::AuthExchange::Reset() {
    logon.End();
    attempt = AuthAttempt::None;
    scheme = AuthScheme::None;
    legs = 0;
    freshConnection = false;
}

HttpClient::AuthExchange::~AuthExchange() {
    if (buffer != nullptr) HeapFree(GetProcessHeap(), 0, buffer);
}

bool HttpClient::ContinueExchange(AuthExchange& auth, bool connectionKept) {
    const bool exchanging =
        auth.attempt == AuthAttempt::Logon || auth.attempt == AuthAttempt::GivenAccount;
    const unsigned bit = auth.scheme == AuthScheme::Negotiate ? AuthNegotiateBit : AuthNtlmBit;
    const char* challenge = auth.scheme == AuthScheme::Negotiate ? auth.offer.negotiateChallenge
                                                                 : auth.offer.ntlmChallenge;
    if (!exchanging || (auth.offer.schemes & bit) == 0 || challenge[0] == '\0' || !connectionKept ||
        auth.legs >= maxExchangeLegs)
        return false;
    if (!auth.logon.NextToken(challenge, auth.token, authTokenSize)) return false;
    ++auth.legs;
    return true;
}

// The next attempt's token in auth.token (none for Basic); false when none is left.
bool HttpClient::StartNextAttempt(AuthExchange& auth) {
    const UrlParts* party = auth.forProxy ? proxy : target;
    const bool accountGiven = party->user != nullptr && party->user[0] != '\0';
    for (;;) {
        // The peer's side of an exchange that got a token is bound to its connection:
        // the next attempt starts afresh on a new one.
        if (auth.legs > 0) auth.freshConnection = true;
        const bool basicSent = auth.attempt == AuthAttempt::Basic ||
                               (auth.attempt == AuthAttempt::None &&
                                (auth.forProxy ? proxyBasicSent : serverBasicSent));
        const AuthSituation situation = {auth.offer.schemes, auth.logon.Available(), accountGiven,
                                         basicSent};
        auth.attempt = NextAuthAttempt(auth.attempt, situation);
        auth.legs = 0;
        if (auth.attempt == AuthAttempt::GiveUp) {
            Log(levelError, "%s: %s refused every way of authentication\n", authName,
                auth.forProxy ? "the proxy" : "the server");
            return false;
        }
        if (auth.attempt == AuthAttempt::Basic) return true;
        auth.scheme = StrongestLogonScheme(auth.offer.schemes, auth.logon.Available());
        const bool given = auth.attempt == AuthAttempt::GivenAccount;
        if (auth.logon.Start(auth.scheme, party->host, given ? party->user : nullptr,
                             given ? party->password : nullptr) &&
            auth.logon.NextToken("", auth.token, authTokenSize)) {
            auth.legs = 1;
            Log(levelProgress, "%s: %s through %s\n", authName,
                given ? "the account given" : "the user's own log-on", AuthSchemeName(auth.scheme));
            return true;
        }
    }
}

// The header line of the next attempt in auth.line: null for Basic (the request builders
// write it themselves), false when no attempt is left.
bool HttpClient::NextAuthLine(AuthExchange& auth, bool connectionKept, const char*& line) {
    line = nullptr;
    if (auth.buffer == nullptr) {
        auth.buffer = static_cast<char*>(
            HeapAlloc(GetProcessHeap(), 0, authTokenSize + authLineSize + authRequestSize));
        if (auth.buffer == nullptr) return false;
        auth.token = auth.buffer;
        auth.line = auth.token + authTokenSize;
        auth.request = auth.line + authLineSize;
    }
    auth.freshConnection = false;
    if (!ContinueExchange(auth, connectionKept) && !StartNextAttempt(auth)) return false;
    if (auth.attempt == AuthAttempt::Basic) return true;
    line = auth.line;
    return BuildAuthorizationLine(auth.forProxy ? "Proxy-Authorization" : "Authorization",
                                  auth.scheme, auth.token, auth.line, authLineSize) >= 0;
}

int HttpClient::NextAuthRequest(const char* requestPath, bool connectionKept) {
    AuthExchange& auth = requestAuth;
    const char* line = nullptr;
    if (!NextAuthLine(auth, connectionKept, line)) return -1;
    RequestCredentials credentials = UnaskedCredentials();
    (auth.forProxy ? credentials.proxyLine : credentials.serverLine) = line;
    const int length =
        BuildRequest(target, proxy, requestPath, auth.request, authRequestSize, credentials);
    (auth.forProxy ? proxyBasicSent : serverBasicSent) = line == nullptr;
    return length;
}

int HttpClient::NextTunnelRequest(bool connectionKept, char*& request) {
    AuthExchange& auth = tunnelAuth;
    auth.forProxy = true;
    const char* line = nullptr;
    if (!NextAuthLine(auth, connectionKept, line)) return -1;
    request = auth.request;
    proxyBasicSent = line == nullptr;
    return BuildConnectRequest(target, proxy, auth.request, authRequestSize, line);
}

// Before a proxy or server is known to want a log-on, a request carries the account's
// Basic credentials as it always has; after, it carries none until an attempt adds them.
RequestCredentials HttpClient::UnaskedCredentials() {
    RequestCredentials credentials;
    if (proxyWantsLogon) credentials.proxyLine = "";
    if (serverWantsLogon) credentials.serverLine = "";
    proxyBasicSent = !proxyWantsLogon && proxy != nullptr && proxy->user != nullptr &&
                     proxy->password != nullptr;
    serverBasicSent = !serverWantsLogon && target->user != nullptr && target->password != nullptr;
    return credentials;
}
