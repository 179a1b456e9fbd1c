// When a file's servers are asked again: a server that asked for time (a
// 503 or 429 with Retry-After) is left alone until it is up, the others
// taking the work meanwhile, and a try after a failed round waits a growing
// time, jittered so that many players who failed together do not come back
// in step.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <random>

#include "tkwengine/lock.h"
#include "tkwengine/target.h"

// A server may ask for no longer a wait than this.
constexpr DWORD kMostServerWaitMs = 30000;

// The wait a Retry-After value asks for (delta seconds or an HTTP date,
// against now in UTC), at most kMostServerWaitMs; a date in the past asks
// for none. False for any other text.
bool ParseRetryAfter(const char* text, const SYSTEMTIME& now, DWORD& ms);

class RetryPace {
public:
    using Clock = DWORD(WINAPI*)();
    explicit RetryPace(uint32_t seed, Clock clock = GetTickCount);
    RetryPace(const RetryPace&) = delete;
    RetryPace& operator=(const RetryPace&) = delete;

    // The server at endpoint asked for ms more (none: 0); any thread.
    void Hold(size_t endpoint, DWORD ms);
    bool Waiting(size_t endpoint) const;
    // Before the next round after failures failed ones in a row (1 and up),
    // over servers endpoints: the backoff, and at least until one of them is up.
    DWORD PauseBefore(int failures, size_t endpoints);

private:
    DWORD Left(size_t endpoint, DWORD now) const;

    mutable CriticalLock lock_;
    DWORD until_[Target::kMaxEndpoints] = {};
    bool held_[Target::kMaxEndpoints] = {};
    std::minstd_rand random_;
    Clock clock_;
};
