// One fetch of a requested file on the http worker's fetch thread (package_fetch_win.cpp)
// and how it ends.
#pragma once

#include "transfer/http_worker_win.h"

// FetchDiskFull and FetchWriteDenied: a local file could not be written, because the
// disk is full or for another reason; the part files already verified stay for the
// next run. With a publisher's key in force: FetchNotAuthentic, the signature or a digest
// does not match; FetchKeyInvalid, the key does not parse; FetchCannotVerify, this system
// cannot check; FetchKeptInPlace, the file already in place is the publisher's; the
// signed package is not the file asked for (FetchWrongPackage), older than required
// (FetchPackageTooOld), expired (FetchPackageExpired), or says unreadably what it is
// (FetchPackageMalformed).
enum FetchOutcome {
    FetchDone,
    FetchFailed,
    FetchDiskFull,
    FetchWriteDenied,
    FetchAborted,
    FetchNotAuthentic,
    FetchKeyInvalid,
    FetchCannotVerify,
    FetchKeptInPlace,
    FetchWrongPackage,
    FetchPackageTooOld,
    FetchPackageExpired,
    FetchPackageMalformed,
    FetchTlsRefused,  // an https site could not be reached securely: the fetch says why
};

// Fetches the file the worker was asked for into its local path; refusal says why an
// https site could not be reached securely (FetchTlsRefused).
FetchOutcome FetchFile(HttpWorker& worker, TlsRefusal& refusal);

// "host[:port]" of a site base ("host[:port]/dir/"): what credentials belong to.
void SiteHost(const char* siteBase, char (&host)[httpFieldSize]);
