// The decisions of a secure connection that need no system call: which negotiated
// protocols are accepted, what the system's verdict on the server's certificate chain
// means for the download, and how a record announces the peer's close.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Why a secure connection was not used. None: it was.
enum class TlsRefusal {
    None,
    Unavailable,  // this system cannot make TLS 1.2 connections (or has no TLS at all)
    NoAgreement,  // the server and this system agreed on no protocol of TLS 1.2 or later
    WrongName,    // the certificate is not for the host asked for
    Expired,      // the certificate (or one above it) has expired or is not valid yet
    Untrusted,    // self-signed, from an unknown authority, not for servers, or forged
    Revoked,      // its authority has revoked it
    Downgrade,    // a redirection from https to plain http
};

// Whether a negotiated protocol (the system's SP_PROT_* bit of the connection) is TLS 1.2
// or later. A protocol newer than this code knows is accepted; none, SSL and TLS 1.0 and
// 1.1 are not.
bool IsAcceptedTlsProtocol(uint32_t protocol);

// The verdict on a server's certificate from the chain's trust status (its error bits)
// and the SSL policy's error code. Revocation that could not be checked (no revocation
// server named, or none reachable) does not refuse a certificate; a revoked one does.
TlsRefusal JudgeServerCertificate(uint32_t chainErrorStatus, uint32_t policyError);

// Whether received bytes start a TLS alert record (content type 21): before decrypting
// it, a record that turns out to carry no data is then the peer's close.
bool StartsAlertRecord(const unsigned char* data, size_t length);
