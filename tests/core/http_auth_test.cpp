// Authentication offers as proxies and servers write them, and the order of attempts.
#include "transfer/http_auth.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

AuthOffer Parse(const std::string& head, const char* name = "Proxy-Authenticate") {
    AuthOffer offer;
    ParseAuthOffer(head.data(), head.size(), name, &offer);
    return offer;
}

}  // namespace

TEST(AuthOffer, ReadsEveryLineAndTheChallenge) {
    const struct {
        const char* lines;
        unsigned schemes;
        const char* ntlm;
        const char* negotiate;
    } cases[] = {
        {"Proxy-Authenticate: NTLM\r\n", AuthNtlmBit, "", ""},
        {"Proxy-Authenticate: Negotiate\r\nProxy-Authenticate: NTLM\r\n"
         "Proxy-Authenticate: Basic realm=\"Squid, at work\"\r\n",
         AuthNtlmBit | AuthNegotiateBit | AuthBasicBit, "", ""},
        {"proxy-authenticate: ntlm TlRMTVNTUAACAAAA==\r\n", AuthNtlmBit, "TlRMTVNTUAACAAAA==", ""},
        {"Proxy-Authenticate: Negotiate YII+/w==\r\n", AuthNegotiateBit, "", "YII+/w=="},
        {"Proxy-Authenticate: NTLM TlRMTVNTUAACAAA=\r\n", AuthNtlmBit, "TlRMTVNTUAACAAA=", ""},
        {"Proxy-Authenticate: NTLM TlRM=, Basic realm = \"x\"\r\n", AuthNtlmBit | AuthBasicBit,
         "TlRM=", ""},
        // Several challenges on one line, parameters with and without quotes.
        {"Proxy-Authenticate: Basic realm=\"a, NTLM b\", charset=UTF-8, NTLM\r\n",
         AuthBasicBit | AuthNtlmBit, "", ""},
        {"Proxy-Authenticate: Digest realm=x, nonce=\"y\", Bearer\r\n", 0, "", ""},
        // A header of another name, or only a name's prefix, offers nothing.
        {"WWW-Authenticate: NTLM\r\nProxy-Authenticate-Info: NTLM\r\n", 0, "", ""},
        // A token with characters no base64 has is no challenge.
        {"Proxy-Authenticate: NTLM abc$def\r\n", AuthNtlmBit, "", ""},
        {"Proxy-Authenticate:NTLM\tTlRM\r\n", AuthNtlmBit, "TlRM", ""},
    };
    for (const auto& c : cases) {
        const AuthOffer offer = Parse(std::string("HTTP/1.1 407 Proxy\r\n") + c.lines + "\r\n");
        EXPECT_EQ(offer.schemes, c.schemes) << c.lines;
        EXPECT_STREQ(offer.ntlmChallenge, c.ntlm) << c.lines;
        EXPECT_STREQ(offer.negotiateChallenge, c.negotiate) << c.lines;
    }
    const AuthOffer server =
        Parse("HTTP/1.1 401 No\r\nWWW-Authenticate: Negotiate\r\n\r\n", "WWW-Authenticate");
    EXPECT_EQ(server.schemes, static_cast<unsigned>(AuthNegotiateBit));
}

TEST(AuthOffer, AChallengeTooLongToKeepIsNoOffer) {
    const std::string fits(maxChallengeTextLength, 'A');
    const std::string tooLong(maxChallengeTextLength + 1, 'A');
    AuthOffer offer = Parse("HTTP/1.1 407 P\r\nProxy-Authenticate: NTLM " + fits + "\r\n\r\n");
    EXPECT_EQ(offer.schemes, static_cast<unsigned>(AuthNtlmBit));
    EXPECT_EQ(strlen(offer.ntlmChallenge), maxChallengeTextLength);
    offer = Parse("HTTP/1.1 407 P\r\nProxy-Authenticate: NTLM " + tooLong + "\r\n\r\n");
    EXPECT_EQ(offer.schemes, 0u);
    EXPECT_STREQ(offer.ntlmChallenge, "");
}

TEST(AuthAttempts, LogonThenTheAccountThenBasic) {
    const unsigned all = AuthBasicBit | AuthNtlmBit | AuthNegotiateBit;
    const struct {
        AuthSituation situation;
        AuthAttempt after[4];  // after None, Logon, GivenAccount, Basic
    } cases[] = {
        // A log-on proxy and an account: every attempt in turn.
        {{all, AuthNtlmBit | AuthNegotiateBit, true, false},
         {AuthAttempt::Logon, AuthAttempt::GivenAccount, AuthAttempt::Basic, AuthAttempt::GiveUp}},
        // No account: the log-on alone.
        {{all, AuthNtlmBit, false, false},
         {AuthAttempt::Logon, AuthAttempt::GiveUp, AuthAttempt::GiveUp, AuthAttempt::GiveUp}},
        // Basic only, as before: the account's credentials went with the first request.
        {{AuthBasicBit, AuthNtlmBit, true, true},
         {AuthAttempt::GiveUp, AuthAttempt::GiveUp, AuthAttempt::GiveUp, AuthAttempt::GiveUp}},
        {{AuthBasicBit, AuthNtlmBit, true, false},
         {AuthAttempt::Basic, AuthAttempt::Basic, AuthAttempt::Basic, AuthAttempt::GiveUp}},
        // A system without the log-on schemes offered: Basic where the proxy takes it.
        {{AuthNtlmBit | AuthBasicBit, 0, true, false},
         {AuthAttempt::Basic, AuthAttempt::Basic, AuthAttempt::Basic, AuthAttempt::GiveUp}},
        {{AuthNegotiateBit, AuthNtlmBit, true, false},
         {AuthAttempt::GiveUp, AuthAttempt::GiveUp, AuthAttempt::GiveUp, AuthAttempt::GiveUp}},
        // Nothing known offered.
        {{0, AuthNtlmBit | AuthNegotiateBit, true, false},
         {AuthAttempt::GiveUp, AuthAttempt::GiveUp, AuthAttempt::GiveUp, AuthAttempt::GiveUp}},
    };
    const AuthAttempt lasts[] = {AuthAttempt::None, AuthAttempt::Logon, AuthAttempt::GivenAccount,
                                 AuthAttempt::Basic};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        for (size_t j = 0; j < 4; ++j)
            EXPECT_EQ(NextAuthAttempt(lasts[j], cases[i].situation), cases[i].after[j])
                << "case " << i << " after " << j;
    }
    EXPECT_EQ(NextAuthAttempt(AuthAttempt::GiveUp, cases[0].situation), AuthAttempt::GiveUp);
}

TEST(AuthAttempts, TheStrongestSchemeBothSidesHave) {
    EXPECT_EQ(StrongestLogonScheme(AuthNtlmBit | AuthNegotiateBit, AuthNtlmBit | AuthNegotiateBit),
              AuthScheme::Negotiate);
    EXPECT_EQ(StrongestLogonScheme(AuthNtlmBit | AuthNegotiateBit | AuthBasicBit, AuthNtlmBit),
              AuthScheme::Ntlm);
    EXPECT_EQ(StrongestLogonScheme(AuthBasicBit, AuthNtlmBit | AuthNegotiateBit), AuthScheme::None);
}

TEST(AuthAttempts, TheHeaderLineFitsOrIsNotWritten) {
    char line[40];
    EXPECT_EQ(
        BuildAuthorizationLine("Proxy-Authorization", AuthScheme::Ntlm, "TlRM", line, sizeof line),
        32);
    EXPECT_STREQ(line, "Proxy-Authorization: NTLM TlRM\r\n");
    EXPECT_EQ(BuildAuthorizationLine("Authorization", AuthScheme::Negotiate,
                                     "a-token-much-too-long-for-forty-bytes", line, sizeof line),
              -1);
    EXPECT_STREQ(line, "");
}
