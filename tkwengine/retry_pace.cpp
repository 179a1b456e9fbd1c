#include "tkwengine/retry_pace.h"

#include <wininet.h>

#include <algorithm>
#include <cstring>

#include "common/content_range.h"

namespace {

constexpr DWORD kFirstRetryWaitMs = 1000;  // doubled for each further try
constexpr int kJitterPercent = 25;         // either way
// GetTickCount and a timed wait may differ by a tick: a server due within
// one is up.
constexpr DWORD kTickMs = 16;

uint64_t FileTimeOf(const SYSTEMTIME& time)
{
    FILETIME file = {};
    if (!SystemTimeToFileTime(&time, &file)) return 0;
    return (static_cast<uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

// Seeds a few apart (players' tick counts, say) give first draws far
// apart: the generator alone keeps them close.
uint32_t Mixed(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    return x ^ (x >> 16);
}

}  // namespace

RetryPace::RetryPace(uint32_t seed, Clock clock) : random_(Mixed(seed)), clock_(clock) {}

bool ParseRetryAfter(const char* text, const SYSTEMTIME& now, DWORD& ms)
{
    if (*text >= '0' && *text <= '9') {
        uint64_t seconds = 0;
        const char* digits = text;
        if (!ParseDecimal(digits, '\0', seconds)) return false;
        ms = static_cast<DWORD>(std::min<uint64_t>(seconds, kMostServerWaitMs / 1000) * 1000);
        return true;
    }
    // WinINet reads a date out of nearly any text: one has a time of day.
    SYSTEMTIME date = {};
    if (!std::strchr(text, ':') || !InternetTimeToSystemTimeA(text, &date, 0)) return false;
    const uint64_t at = FileTimeOf(date), from = FileTimeOf(now);
    if (!at || !from) return false;
    const uint64_t ticksPerMs = 10000;
    ms = at > from ? static_cast<DWORD>(std::min<uint64_t>((at - from) / ticksPerMs, kMostServerWaitMs)) : 0;
    return true;
}

void RetryPace::Hold(size_t endpoint, DWORD ms)
{
    if (ms == 0 || endpoint >= Target::kMaxEndpoints) return;
    Locked locked(lock_);
    const DWORD now = clock_();
    if (Left(endpoint, now) >= ms) return;
    until_[endpoint] = now + ms;
    held_[endpoint] = true;
}

bool RetryPace::Waiting(size_t endpoint) const
{
    if (endpoint >= Target::kMaxEndpoints) return false;
    Locked locked(lock_);
    return Left(endpoint, clock_()) > kTickMs;
}

DWORD RetryPace::PauseBefore(int failures, size_t endpoints)
{
    const DWORD backoff = kFirstRetryWaitMs << std::clamp(failures - 1, 0, 8);
    std::uniform_int_distribution<int> jitter(100 - kJitterPercent, 100 + kJitterPercent);
    Locked locked(lock_);
    DWORD pause = static_cast<DWORD>(static_cast<uint64_t>(backoff) * jitter(random_) / 100);
    const DWORD now = clock_();
    DWORD soonest = endpoints ? kMostServerWaitMs : 0;
    for (size_t endpoint = 0; endpoint < std::min(endpoints, Target::kMaxEndpoints); ++endpoint)
        soonest = std::min(soonest, Left(endpoint, now));
    return std::max(pause, soonest);
}

// Tick counts wrap: what is left is measured as a difference.
DWORD RetryPace::Left(size_t endpoint, DWORD now) const
{
    if (!held_[endpoint]) return 0;
    const DWORD left = until_[endpoint] - now;
    return left <= kMostServerWaitMs ? left : 0;
}
