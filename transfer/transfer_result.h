// What a transfer worker reports of a connection or a file: the result codes that the
// registered messages carry, shared by the workers and the download flow.
#pragma once

// Result codes carried in wParam of "dl1", "dl2" and "dl4"; 0 is success.
enum TransferResult {
    TransferOk = 0,
    TransferLookupFailed = 1,
    TransferSocketFailed = 2,
    TransferLoginFailed = 3,
    TransferReceiveFailed = 4,
    TransferDiskFull = 5,
    TransferWriteDenied = 6,  // a local file could not be written for another reason
    // A publisher's key is in force: the signature or a digest did not match, the key in
    // the description does not parse, or this system cannot check SHA-256 signatures.
    TransferNotAuthentic = 7,
    TransferKeyInvalid = 8,
    TransferCannotVerify = 9,
    // A publisher's key is in force and the signed package is not the file asked for, is
    // older than the component requires, has expired, or says unreadably what it is.
    TransferWrongPackage = 10,
    TransferPackageTooOld = 11,
    TransferPackageExpired = 12,
    TransferPackageMalformed = 13,
    // An https site could not be reached securely: this system cannot make TLS 1.2
    // connections, the server agreed on no protocol of TLS 1.2 or later, its certificate
    // is for another name, expired, not trusted or revoked, or a redirection led to plain
    // http.
    TransferTlsUnavailable = 14,
    TransferTlsNoAgreement = 15,
    TransferCertificateWrongName = 16,
    TransferCertificateExpired = 17,
    TransferCertificateUntrusted = 18,
    TransferCertificateRevoked = 19,
    TransferTlsDowngrade = 20,
};
