// Authentication offers read from a response head, and the order of the attempts.
#include "transfer/http_auth.h"

#include <string.h>

#include "common/text.h"
#include "transfer/http_request.h"

namespace {

struct SchemeName {
    const char* name;
    unsigned bit;
};
const SchemeName schemeNames[] = {
    {"Basic", AuthBasicBit},
    {"NTLM", AuthNtlmBit},
    {"Negotiate", AuthNegotiateBit},
};

bool IsTokenCharacter(char c) {
    return c != '\0' && c != ',' && c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '"' &&
           c != '=';
}

// A base64 token68: letters, digits, "+/-._~" and "=" only at its end.
bool IsChallengeCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '-' || c == '.' || c == '_' || c == '~' || c == '=';
}

// Skips a quoted string that starts at p: past its closing quote, or to end.
const char* SkipQuoted(const char* p, const char* end) {
    for (++p; p < end; ++p) {
        if (*p == '\\' && p + 1 < end) {
            ++p;
        } else if (*p == '"') {
            return p + 1;
        }
    }
    return end;
}

void TakeChallenge(const char* begin, const char* end, char* out) {
    const size_t length = static_cast<size_t>(end - begin);
    if (length > maxChallengeTextLength) return;
    memcpy(out, begin, length);
    out[length] = '\0';
}

// One line's challenges. A word not followed by "=" starts a challenge (its scheme); the
// word after a log-on scheme, when it is no parameter, is its token.
void ParseChallenges(const char* p, const char* end, AuthOffer* offer) {
    unsigned current = 0;  // the scheme whose challenge is being read
    bool tokenAllowed = false;
    while (p < end) {
        if (*p == '"') {
            p = SkipQuoted(p, end);
            continue;
        }
        if (*p == ',') tokenAllowed = false;
        if (!IsTokenCharacter(*p)) {
            ++p;
            continue;
        }
        const char* word = p;
        while (p < end && IsTokenCharacter(*p)) ++p;
        const char* wordEnd = p;
        const char* after = p;
        while (after < end && (*after == ' ' || *after == '\t')) ++after;
        // "name=value" is a parameter; a token's "=" padding ends it, the line or a comma
        // following.
        const char* value = after + 1;
        while (value < end && (*value == ' ' || *value == '\t')) ++value;
        const bool isParameter = after < end && *after == '=' && after + 1 < end &&
                                 after[1] != '=' && value < end && *value != ',';
        if (isParameter) {
            tokenAllowed = false;
            continue;
        }
        if (tokenAllowed && (current == AuthNtlmBit || current == AuthNegotiateBit)) {
            // The token: base64 with its "=" padding, which the word scan stopped at.
            while (p < end && IsChallengeCharacter(*p)) ++p;
            bool valid = true;
            for (const char* c = word; c < p; ++c) valid = valid && IsChallengeCharacter(*c);
            if (valid) {
                TakeChallenge(
                    word, p,
                    current == AuthNtlmBit ? offer->ntlmChallenge : offer->negotiateChallenge);
                if (static_cast<size_t>(p - word) > maxChallengeTextLength)
                    offer->schemes &= ~current;
            }
            tokenAllowed = false;
            continue;
        }
        current = 0;
        for (const SchemeName& scheme : schemeNames) {
            if (static_cast<size_t>(wordEnd - word) == strlen(scheme.name) &&
                EqualsIgnoringCaseN(word, scheme.name, strlen(scheme.name)))
                current = scheme.bit;
        }
        offer->schemes |= current;
        tokenAllowed = current != 0;
    }
}

}  // namespace

void ParseAuthOffer(const char* head, size_t headLength, const char* name, AuthOffer* offer) {
    offer->schemes = 0;
    offer->ntlmChallenge[0] = '\0';
    offer->negotiateChallenge[0] = '\0';
    HeaderValue value;
    for (const char* line = FindHeaderAfter(head, headLength, nullptr, name, &value);
         line != nullptr; line = FindHeaderAfter(head, headLength, line, name, &value))
        ParseChallenges(value.begin, value.end, offer);
}

const char* AuthSchemeName(AuthScheme scheme) {
    return scheme == AuthScheme::Negotiate ? "Negotiate"
           : scheme == AuthScheme::Ntlm    ? "NTLM"
                                           : "Basic";
}

AuthScheme StrongestLogonScheme(unsigned offered, unsigned available) {
    const unsigned common = offered & available;
    if ((common & AuthNegotiateBit) != 0) return AuthScheme::Negotiate;
    if ((common & AuthNtlmBit) != 0) return AuthScheme::Ntlm;
    return AuthScheme::None;
}

AuthAttempt NextAuthAttempt(AuthAttempt last, const AuthSituation& situation) {
    const bool logon =
        StrongestLogonScheme(situation.offered, situation.available) != AuthScheme::None;
    switch (last) {
    case AuthAttempt::None:
        if (logon) return AuthAttempt::Logon;
        [[fallthrough]];
    case AuthAttempt::Logon:
        if (logon && situation.accountGiven) return AuthAttempt::GivenAccount;
        [[fallthrough]];
    case AuthAttempt::GivenAccount:
        if ((situation.offered & AuthBasicBit) != 0 && situation.accountGiven &&
            !situation.basicSent)
            return AuthAttempt::Basic;
        [[fallthrough]];
    case AuthAttempt::Basic:
    case AuthAttempt::GiveUp:
        break;
    }
    return AuthAttempt::GiveUp;
}

int BuildAuthorizationLine(const char* name, AuthScheme scheme, const char* tokenText, char* out,
                           size_t size) {
    const char* schemeName = AuthSchemeName(scheme);
    if (size == 0) return -1;
    out[0] = '\0';
    if (!AppendTextN(out, size, name) || !AppendTextN(out, size, ": ") ||
        !AppendTextN(out, size, schemeName) || !AppendTextN(out, size, " ") ||
        !AppendTextN(out, size, tokenText) || !AppendTextN(out, size, "\r\n")) {
        out[0] = '\0';
        return -1;
    }
    return static_cast<int>(strlen(out));
}
