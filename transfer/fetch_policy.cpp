#include "transfer/fetch_policy.h"

LadderMove AfterFailedRung(LadderRung rung, bool anyAnswered) {
    if (rung == LadderRung::AskUser) return LadderMove::AskAgain;
    // A network that is not up yet (a download resumed at log-on) gets time before
    // the user is asked.
    if (rung == LadderRung::Direct && !anyAnswered) return LadderMove::WaitForNetwork;
    return LadderMove::NextRung;
}

LadderRung NextRung(LadderRung rung) {
    switch (rung) {
    case LadderRung::Described:
        return LadderRung::BrowserProxy;
    case LadderRung::BrowserProxy:
        return LadderRung::Direct;
    case LadderRung::Direct:
    case LadderRung::AskUser:
        break;
    }
    return LadderRung::AskUser;
}

unsigned DoubledPause(unsigned pause, unsigned longest) {
    return pause > longest / 2 ? longest : pause * 2;
}

NetworkWait NextNetworkWait(unsigned waited, unsigned total, unsigned pause, unsigned firstPause,
                            unsigned longestPause) {
    NetworkWait next = {false, 0, pause};
    if (waited >= total) return next;
    if (pause == 0) pause = firstPause;
    next.wait = true;
    next.milliseconds = pause < total - waited ? pause : total - waited;
    next.nextPause = DoubledPause(pause, longestPause);
    return next;
}

unsigned RequestsInFlight(int64_t partSize) {
    const int64_t largePart = 512 * 1024;
    return partSize >= largePart ? 2 : maxRequestsInFlight;
}

PartVerdict AfterFailedPart(int attempts, int badFetches, PartFailure failure) {
    if (failure != PartFailure::NotFetched && badFetches + 1 > partBadFetchLimit)
        return failure == PartFailure::NotAuthentic ? PartVerdict::NotAuthentic
                                                    : PartVerdict::FileFails;
    if (attempts + 1 >= partAttemptLimit) return PartVerdict::FileFails;
    return PartVerdict::Retry;
}

const char* LadderRungName(LadderRung rung) {
    switch (rung) {
    case LadderRung::Described:
        return "as described";
    case LadderRung::BrowserProxy:
        return "the browser's proxy";
    case LadderRung::Direct:
        return "direct";
    case LadderRung::AskUser:
        return "HTTP Settings";
    }
    return "?";
}

const char* PartFailureName(PartFailure failure) {
    switch (failure) {
    case PartFailure::NotFetched:
        return "not fetched";
    case PartFailure::Damaged:
        return "damaged (length or checksum)";
    case PartFailure::NotAuthentic:
        return "not the publisher's (SHA-256)";
    }
    return "?";
}
