// The decisions of the package fetch, apart from its waits and its sockets: which road
// to the server comes next (the connection ladder), how long to wait for the network
// and before a part is fetched again, and when a part has been tried often enough.
#pragma once

#include <stdint.h>

// The rungs of the connection ladder, climbed in this order for a manifest: the
// description's settings (its proxy, or none), the browser's proxy, a direct
// connection, and the user's "HTTP Settings".
enum class LadderRung { Described, BrowserProxy, Direct, AskUser };
// The rung as the run's log names it.
const char* LadderRungName(LadderRung rung);

// What follows a rung that brought no manifest.
enum class LadderMove {
    NextRung,        // the next rung
    WaitForNetwork,  // nothing answered on any rung: wait, then climb again from the first
    AskAgain,        // the user's settings did not work either: ask again
};
// anyAnswered: some server or proxy answered on a rung of this climb.
LadderMove AfterFailedRung(LadderRung rung, bool anyAnswered);
LadderRung NextRung(LadderRung rung);

// A pause that doubles after each use, up to longest.
unsigned DoubledPause(unsigned pause, unsigned longest);

// One wait for the network: waited of total milliseconds have passed, pause is the
// pause due (0: the first, firstPause). The wait lasts the pause, or what is left of
// the total; none at all once the total is used up (the user is asked then).
struct NetworkWait {
    bool wait;
    unsigned milliseconds;  // of this wait
    unsigned nextPause;     // the pause due after it
};
NetworkWait NextNetworkWait(unsigned waited, unsigned total, unsigned pause, unsigned firstPause,
                            unsigned longestPause);

// How many part requests are in flight at once, each on a connection of its own: enough
// that on a distant line the next requests' round trips pass while a part arrives, yet
// few enough that the parts waiting in line keep their connections busy. Measured on a
// line of 10 MB/s with a round trip of 100 ms and TCP's slow start: parts of 256 KiB
// used 0.39 of the line with two in flight and 0.75 with four; parts of 1 MiB 0.88 with
// two and 0.58 with four (the connections waiting their turn idle long enough to start
// slowly again).
const unsigned maxRequestsInFlight = 4;
unsigned RequestsInFlight(int64_t partSize);

// How an attempt at a part ended, when the part is not in hand.
enum class PartFailure {
    NotFetched,    // no body came (refused, reset, cut short, an error status)
    Damaged,       // a body came with a wrong length or checksum
    NotAuthentic,  // a body came that does not match its signed digest
};
const char* PartFailureName(PartFailure failure);
enum class PartVerdict {
    Retry,         // pause, then fetch the part again
    FileFails,     // the file fails, the verified parts kept
    NotAuthentic,  // the file fails as not the publisher's, the part deleted
};
// A part whose body arrived damaged is fetched again partBadFetchLimit times at most
// (the server itself may hold a bad copy); a part is asked for partAttemptLimit times
// at most, whatever the failures. attempts and badFetches count the failed attempts
// before this one.
const int partBadFetchLimit = 3;
const int partAttemptLimit = 8;
PartVerdict AfterFailedPart(int attempts, int badFetches, PartFailure failure);
