// What a Retry-After value asks for, and when a file's servers are asked again.
#include <gtest/gtest.h>

#include <set>

#include "tkwengine/retry_pace.h"

namespace {

DWORD g_now = 0;
DWORD WINAPI FakeClock() { return g_now; }

TEST(RetryAfter, ReadsSecondsAndDatesWithinItsBound)
{
    const SYSTEMTIME now = {2026, 12, 4, 10, 7, 0, 0, 0};  // Thu, 10 Dec 2026 07:00:00 GMT
    struct Row {
        const char* text;
        bool read;
        DWORD ms;
    } const rows[] = {
        {"2", true, 2000},
        {"0", true, 0},
        {"120", true, kMostServerWaitMs},
        {"99999999999999999999", true, kMostServerWaitMs},
        {"2.5", false, 0},
        {"Thu, 10 Dec 2026 07:00:03 GMT", true, 3000},
        {"Thu, 10 Dec 2026 06:59:00 GMT", true, 0},  // past: no wait
        {"Fri, 11 Dec 2026 07:00:00 GMT", true, kMostServerWaitMs},
        {"soon", false, 0},
        {"", false, 0},
    };
    for (const Row& row : rows) {
        DWORD ms = 0;
        EXPECT_EQ(row.read, ParseRetryAfter(row.text, now, ms)) << row.text;
        EXPECT_EQ(row.ms, ms) << row.text;
    }
}

// A held server waits until it is up, the others not; the pause before the
// next round is the jittered backoff, and no shorter than the soonest
// server's wait when every server asked for one.
TEST(RetryPace, HoldsServersAndPacesRounds)
{
    g_now = 0xFFFFF000;  // the tick count wraps during the waits
    RetryPace pace(7, FakeClock);
    EXPECT_FALSE(pace.Waiting(0));
    pace.Hold(0, 3000);
    pace.Hold(0, 1000);  // a shorter ask does not cut a longer wait short
    EXPECT_TRUE(pace.Waiting(0));
    EXPECT_FALSE(pace.Waiting(1));
    const DWORD one = pace.PauseBefore(1, 2);
    EXPECT_GE(one, 750u);
    EXPECT_LE(one, 1250u);
    EXPECT_EQ(3000u, pace.PauseBefore(1, 1));
    pace.Hold(1, 5000);
    EXPECT_EQ(3000u, pace.PauseBefore(1, 2));
    g_now += 2990;
    EXPECT_FALSE(pace.Waiting(0));  // due within a tick
    EXPECT_TRUE(pace.Waiting(1));
    g_now += kMostServerWaitMs;
    EXPECT_FALSE(pace.Waiting(1));
    const DWORD third = pace.PauseBefore(3, 2);
    EXPECT_GE(third, 3000u);
    EXPECT_LE(third, 5000u);
}

TEST(RetryPace, PlayersDoNotRetryInStep)
{
    std::set<DWORD> pauses;
    for (uint32_t seed = 1; seed <= 20; ++seed) pauses.insert(RetryPace(seed).PauseBefore(2, 1));
    EXPECT_GE(*pauses.begin(), 1500u);
    EXPECT_LE(*pauses.rbegin(), 2500u);
    EXPECT_GE(pauses.size(), 10u);
}

}  // namespace
