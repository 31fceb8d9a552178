// The registered window messages by which the transfer workers, WinSock and the
// download controller talk. Their numbers are obtained during static
// initialisation, before WinMain runs, and are the same throughout the process.
#pragma once

#include "common/win32.h"

// "dl1": a Connect has finished (wParam: result); ftp also reports the loss of its
// control connection with it, which ends the file under way.
extern const UINT msgConnected;
extern const UINT msgFileStarted;  // "dl2": an item is about to be received (lParam: size)
extern const UINT msgProgress;     // "dl3": progress (lParam: bytes so far)
extern const UINT msgFileDone;     // "dl4": the item has finished (wParam: result, lParam: how)
// "dl5": http only, no server answered yet (wParam: seconds to the next try).
extern const UINT msgWaitingForNetwork;
extern const UINT msgHostLookupDone;   // "dli1": an asynchronous host lookup has completed
extern const UINT msgFtpControlEvent;  // "dlftp1": event on the FTP control socket
extern const UINT msgFtpListenEvent;   // "dlftp2": event on the FTP listening data socket
extern const UINT msgFtpDataEvent;     // "dlftp3": event on the FTP data connection
extern const UINT msgRunOver;  // "dldone": the download run is over (wParam: 0 ok, 1 failed)
// "dlsettings": http only, no rung of the ladder worked: the interface thread asks the
// user (lParam: HttpSettingsRequest*; the answer: nonzero to try again).
extern const UINT msgHttpSettingsWanted;

// Result codes carried in wParam of "dl1", "dl2" and "dl4"; 0 is success.
enum TransferResult {
    TransferOk = 0,
    TransferLookupFailed = 1,
    TransferSocketFailed = 2,
    TransferLoginFailed = 3,
    TransferReceiveFailed = 4,
    TransferWriteFailed = 5,  // the disk is full
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

// lParam of a successful "dl4": the file was received into the temporary file, or the
// file already in place was found to be the publisher's and stays as it is.
const LPARAM fileReceived = 0;
const LPARAM fileKeptInPlace = 1;

// The report of a local write that failed with the platform's error code: "disk full"
// only when the disk is full, for both workers alike.
inline TransferResult LocalWriteResult(unsigned long error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? TransferWriteFailed
                                                                       : TransferWriteDenied;
}
