// The decisions of secure connections: accepted protocols and the verdict on a chain.
#include "transfer/tls_policy.h"

#include <gtest/gtest.h>

TEST(TlsPolicy, OnlyTls12AndLaterAreAccepted) {
    struct Case {
        uint32_t protocol;
        bool accepted;
    };
    const Case cases[] = {
        {0, false},          {0x00000008, false},  // SSL 2 client
        {0x00000020, false},                       // SSL 3 client
        {0x00000080, false},                       // TLS 1.0 client
        {0x00000200, false},                       // TLS 1.1 client
        {0x00000800, true},                        // TLS 1.2 client
        {0x00002000, true},                        // TLS 1.3 client
        {0x00008000, true},                        // a later one
        {0x00000880, false},                       // 1.2 together with 1.0 says 1.0 is possible
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.accepted, IsAcceptedTlsProtocol(c.protocol)) << c.protocol;
}

TEST(TlsPolicy, CertificateVerdicts) {
    struct Case {
        uint32_t chainStatus;
        uint32_t policyError;
        TlsRefusal verdict;
    };
    const Case cases[] = {
        {0, 0, TlsRefusal::None},
        // Revocation not checkable: not blocking, whichever way it is reported.
        {0x00000040, 0, TlsRefusal::None},
        {0x01000040, 0x80092013, TlsRefusal::None},
        {0, 0x80092012, TlsRefusal::None},
        {0x01000040, 0x800B010E, TlsRefusal::None},
        // Revoked always refuses.
        {0x00000004, 0, TlsRefusal::Revoked},
        {0, 0x80092010, TlsRefusal::Revoked},
        {0, 0x800B010F, TlsRefusal::WrongName},
        {0x00000001, 0x800B0101, TlsRefusal::Expired},
        {0x00000001, 0, TlsRefusal::Expired},
        {0, 0x800B0101, TlsRefusal::Expired},
        {0x00000020, 0x800B0109, TlsRefusal::Untrusted},  // self-signed, unknown root
        {0x00010000, 0, TlsRefusal::Untrusted},           // an unknown issuer, policy silent
        {0x00000010, 0x800B0110, TlsRefusal::Untrusted},  // not for servers
        {0x00000008, 0x80096004, TlsRefusal::Untrusted},  // a forged signature
        {0x00000040, 0x800B010A, TlsRefusal::Untrusted},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.verdict, JudgeServerCertificate(c.chainStatus, c.policyError))
            << std::hex << c.chainStatus << " " << c.policyError;
}
