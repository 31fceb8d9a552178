// A log-on exchange (NTLM or Negotiate) through the platform's SSPI, for one connection:
// with the user's own Windows log-on, no password asked, or with an account given. The
// SSPI library is loaded at the first exchange; a system without it has no log-on
// schemes. Tokens travel as base64 text, as the headers carry them.
#pragma once

#include "common/win32.h"
#include "transfer/http_auth.h"

// The longest token the exchange sends, as base64 text: Kerberos tickets of users in
// many groups reach tens of kilobytes.
const size_t maxLogonTokenTextLength = 64 * 1024;

class LogonExchange {
public:
    LogonExchange() = default;
    ~LogonExchange();
    LogonExchange(const LogonExchange&) = delete;
    LogonExchange& operator=(const LogonExchange&) = delete;

    // The log-on schemes of this system (AuthSchemeBits).
    unsigned Available();

    // Starts an exchange with the proxy or server host: user null for the user's own
    // log-on, else "DOMAIN\user" or "user" with its password. False when the system
    // refuses the scheme or the account.
    bool Start(AuthScheme scheme, const char* host, const char* user, const char* password);
    // The next token, as base64 text into out (size bytes), from the peer's challenge
    // (empty for the first token). False when the system refused the challenge or the
    // token does not fit; the exchange has ended then.
    bool NextToken(const char* challengeText, char* out, size_t size);
    void End();

private:
    bool Load();

    struct Security;
    Security* security = nullptr;
};
