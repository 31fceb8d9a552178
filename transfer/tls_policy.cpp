// Protocol, certificate and record decisions of secure connections.
#include "transfer/tls_policy.h"

namespace {

// The system's protocol bits below TLS 1.2: SSL 2 and 3, TLS 1.0 and 1.1, client and
// server alike.
const uint32_t protocolsBelowTls12 = 0x000003FFu;

// Chain trust status bits (CERT_TRUST_*).
const uint32_t trustNotTimeValid = 0x00000001u;
const uint32_t trustRevoked = 0x00000004u;
const uint32_t trustRevocationUnknown = 0x00000040u;
const uint32_t trustOfflineRevocation = 0x01000000u;

// SSL policy error codes.
const uint32_t policyExpired = 0x800B0101u;            // CERT_E_EXPIRED
const uint32_t policyNameMismatch = 0x800B010Fu;       // CERT_E_CN_NO_MATCH
const uint32_t policyRevoked = 0x80092010u;            // CRYPT_E_REVOKED
const uint32_t policyNoRevocationCheck = 0x80092012u;  // CRYPT_E_NO_REVOCATION_CHECK
const uint32_t policyRevocationOffline = 0x80092013u;  // CRYPT_E_REVOCATION_OFFLINE
const uint32_t policyRevocationFailure = 0x800B010Eu;  // CERT_E_REVOCATION_FAILURE

const unsigned char alertRecordType = 21;

bool IsUncheckedRevocation(uint32_t policyError) {
    return policyError == policyNoRevocationCheck || policyError == policyRevocationOffline ||
           policyError == policyRevocationFailure;
}

}  // namespace

bool IsAcceptedTlsProtocol(uint32_t protocol) {
    return protocol != 0 && (protocol & protocolsBelowTls12) == 0;
}

TlsRefusal JudgeServerCertificate(uint32_t chainErrorStatus, uint32_t policyError) {
    const uint32_t status = chainErrorStatus & ~(trustRevocationUnknown | trustOfflineRevocation);
    if ((status & trustRevoked) != 0 || policyError == policyRevoked) return TlsRefusal::Revoked;
    if (policyError == policyNameMismatch) return TlsRefusal::WrongName;
    if ((status & trustNotTimeValid) != 0 || policyError == policyExpired)
        return TlsRefusal::Expired;
    if (IsUncheckedRevocation(policyError)) policyError = 0;
    // Some systems' policy passes a chain that ends at an unknown issuer: the chain's own
    // status must be clear as well.
    if (status != 0 || policyError != 0) return TlsRefusal::Untrusted;
    return TlsRefusal::None;
}

bool StartsAlertRecord(const unsigned char* data, size_t length) {
    return length > 0 && data[0] == alertRecordType;
}
