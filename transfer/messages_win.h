// The registered window messages by which the transfer workers, WinSock and the
// download controller talk. Their numbers are obtained during static
// initialisation, before WinMain runs, and are the same throughout the process.
#pragma once

#include "common/win32.h"
#include "transfer/transfer_result.h"

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

// lParam of a successful "dl4": the file was received into the temporary file, or the
// file already in place was found to be the publisher's and stays as it is.
const LPARAM fileReceived = 0;
const LPARAM fileKeptInPlace = 1;

// The report of a local write that failed with the platform's error code: "disk full"
// only when the disk is full, for both workers alike.
inline TransferResult LocalWriteResult(unsigned long error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? TransferDiskFull
                                                                       : TransferWriteDenied;
}
