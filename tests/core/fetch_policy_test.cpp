// The package fetch's decisions: the connection ladder, the pauses and the part retries.
#include "transfer/fetch_policy.h"

#include <gtest/gtest.h>

namespace {

const char* Name(LadderRung rung) {
    switch (rung) {
    case LadderRung::Described:
        return "described";
    case LadderRung::BrowserProxy:
        return "browser";
    case LadderRung::Direct:
        return "direct";
    case LadderRung::AskUser:
        return "ask";
    }
    return "?";
}

}  // namespace

// Climbing from the description's settings: the browser's proxy, then direct; only a
// climb where nothing answered waits for the network before the user is asked.
TEST(FetchPolicy, TheLadderRungByRung) {
    struct Case {
        LadderRung rung;
        bool answered;
        LadderMove move;
        LadderRung next;  // after NextRung
    };
    const Case cases[] = {
        {LadderRung::Described, false, LadderMove::NextRung, LadderRung::BrowserProxy},
        {LadderRung::Described, true, LadderMove::NextRung, LadderRung::BrowserProxy},
        {LadderRung::BrowserProxy, false, LadderMove::NextRung, LadderRung::Direct},
        {LadderRung::Direct, false, LadderMove::WaitForNetwork, LadderRung::AskUser},
        {LadderRung::Direct, true, LadderMove::NextRung, LadderRung::AskUser},
        {LadderRung::AskUser, false, LadderMove::AskAgain, LadderRung::AskUser},
        {LadderRung::AskUser, true, LadderMove::AskAgain, LadderRung::AskUser},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.move, AfterFailedRung(c.rung, c.answered)) << Name(c.rung) << c.answered;
        EXPECT_EQ(c.next, NextRung(c.rung)) << Name(c.rung);
    }
}

// The product's network wait (1 s doubling to 30 s, two minutes in all), step by step,
// and pauses that never overflow.
TEST(FetchPolicy, PausesDoubleUpToTheirCeiling) {
    const unsigned expected[] = {1000, 2000, 4000, 8000, 16000, 30000, 30000, 29000};
    unsigned waited = 0, pause = 0;
    for (unsigned milliseconds : expected) {
        NetworkWait next = NextNetworkWait(waited, 120000, pause, 1000, 30000);
        ASSERT_TRUE(next.wait);
        EXPECT_EQ(milliseconds, next.milliseconds);
        waited += next.milliseconds;
        pause = next.nextPause;
    }
    EXPECT_FALSE(NextNetworkWait(waited, 120000, pause, 1000, 30000).wait);
    EXPECT_FALSE(NextNetworkWait(0, 0, 0, 1000, 30000).wait) << "no total: ask at once";

    EXPECT_EQ(2000u, DoubledPause(1000, 30000));
    EXPECT_EQ(30000u, DoubledPause(16000, 30000));
    EXPECT_EQ(30000u, DoubledPause(30000, 30000));
    EXPECT_EQ(4000000000u, DoubledPause(3000000000u, 4000000000u)) << "no overflow";
    EXPECT_EQ(5u, DoubledPause(3, 5));
}

// Small parts want more requests in flight than large ones to cover a round trip.
TEST(FetchPolicy, RequestsInFlightByPartSize) {
    struct Case {
        int64_t partSize;
        unsigned inFlight;
    };
    const Case cases[] = {
        {0, 4},          {4096, 4},        {256 * 1024, 4},        {512 * 1024 - 1, 4},
        {512 * 1024, 2}, {1024 * 1024, 2}, {64LL * 1024 * 1024, 2}};
    for (const Case& c : cases) EXPECT_EQ(c.inFlight, RequestsInFlight(c.partSize)) << c.partSize;
    for (const Case& c : cases) EXPECT_LE(RequestsInFlight(c.partSize), maxRequestsInFlight);
}

// A damaged or foreign body is fetched again three times; any part is asked for eight
// times at most.
TEST(FetchPolicy, APartIsRetriedABoundedNumberOfTimes) {
    struct Case {
        int attempts;
        int badFetches;
        PartFailure failure;
        PartVerdict verdict;
    };
    const Case cases[] = {
        {0, 0, PartFailure::NotFetched, PartVerdict::Retry},
        {6, 0, PartFailure::NotFetched, PartVerdict::Retry},
        {7, 0, PartFailure::NotFetched, PartVerdict::FileFails},
        {0, 0, PartFailure::Damaged, PartVerdict::Retry},
        {2, 2, PartFailure::Damaged, PartVerdict::Retry},
        {3, 3, PartFailure::Damaged, PartVerdict::FileFails},
        {3, 3, PartFailure::NotAuthentic, PartVerdict::NotAuthentic},
        {2, 2, PartFailure::NotAuthentic, PartVerdict::Retry},
        {7, 3, PartFailure::NotFetched, PartVerdict::FileFails},
        {7, 2, PartFailure::Damaged, PartVerdict::FileFails},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.verdict, AfterFailedPart(c.attempts, c.badFetches, c.failure))
            << c.attempts << " attempts, " << c.badFetches << " bad";
}
