// The decisions of authentication to a proxy (407) or a server (401): which schemes a
// response offers, with the challenge of a log-on exchange, and which attempt comes
// next. The log-on exchange itself is the platform's (logon_auth_win). Pure core.
#pragma once

#include <stddef.h>

// The schemes the client knows, as bits of an offer; the strongest is the highest.
enum AuthSchemeBits : unsigned {
    AuthBasicBit = 1,
    AuthNtlmBit = 2,
    AuthNegotiateBit = 4,
};
enum class AuthScheme { None, Basic, Ntlm, Negotiate };

// The scheme as headers and SSPI name it: "Basic", "NTLM", "Negotiate".
const char* AuthSchemeName(AuthScheme scheme);

const int statusUnauthorized = 401;
const int statusProxyAuthenticationRequired = 407;

// The longest challenge token (base64 text) that is kept; a longer one counts as not
// offered, and the exchange fails as a refusal.
const size_t maxChallengeTextLength = 2047;

// What the Proxy-Authenticate (for a 407) or WWW-Authenticate (for a 401) lines of a head
// offer. A log-on scheme's line may carry the server's challenge for the exchange under
// way; an empty one starts it.
struct AuthOffer {
    unsigned schemes;  // AuthSchemeBits
    char ntlmChallenge[maxChallengeTextLength + 1];
    char negotiateChallenge[maxChallengeTextLength + 1];
};

// Reads every header line called name ("Proxy-Authenticate" or "WWW-Authenticate") of
// the head's headLength bytes. Each line holds one or more challenges separated by
// commas: a scheme name, then a token (a log-on scheme's challenge) or parameters
// (realm="..."). Unknown schemes are left out.
void ParseAuthOffer(const char* head, size_t headLength, const char* name, AuthOffer* offer);

// The log-on scheme to use of those offered and those the system can do: Negotiate
// before NTLM; None when no common one.
AuthScheme StrongestLogonScheme(unsigned offered, unsigned available);

// The attempts at a proxy or a server that asks for authentication, in order: the user's
// own log-on through the strongest log-on scheme, then the account given (the
// description's or the user's settings) through the same scheme, then that account
// through Basic, unless the refused request carried it already (a request carries an
// account's Basic credentials from the start until the proxy or server is known to
// offer a log-on scheme). Each is tried only where the offer and the system allow it.
enum class AuthAttempt { None, Logon, GivenAccount, Basic, GiveUp };
struct AuthSituation {
    unsigned offered;    // AuthSchemeBits of the latest 401 or 407
    unsigned available;  // the log-on schemes the system can do
    bool accountGiven;   // a user name is set for this proxy or server
    bool basicSent;      // the refused request carried the account's Basic credentials
};
AuthAttempt NextAuthAttempt(AuthAttempt last, const AuthSituation& situation);

// The header line of an attempt: "<name>: <scheme> <token>\r\n" into out (size bytes).
// The length, or -1 (out empty) when it does not fit.
int BuildAuthorizationLine(const char* name, AuthScheme scheme, const char* tokenText, char* out,
                           size_t size);
