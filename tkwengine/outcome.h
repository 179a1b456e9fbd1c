// What a request or a round ends in: 0, an engine error code, or one of the
// internal outcomes below, and which of them are worth another try.
#pragma once
#include <windows.h>

#include <cstdint>

#include "common/engine_contract.h"

constexpr int32_t kCancelled = -1;      // ends silently
constexpr int32_t kStatusRefused = -2;  // an unexpected status: reported as a network error, never retried
constexpr int32_t kStartAgain = -3;     // the kept state is of no use: the next round starts afresh

// A lost connection, a time-out, an unreachable server or a 5xx answer.
inline bool IsTransient(int32_t outcome) { return outcome == kErrorNetwork || outcome == kErrorServer; }

// The code the program hears for an outcome; 0 or negative: nothing.
inline int32_t ReportedError(int32_t outcome) { return outcome == kStatusRefused ? kErrorNetwork : outcome; }

inline int32_t StatusOutcome(DWORD status)
{
    if (status == 200 || status == 206) return 0;
    if (status == 403) return kErrorHttp403;
    if (status == 404 || status == 410) return kErrorHttp404;
    if (status == 416) return kErrorRangeRefused;
    if (status >= 500) return kErrorServer;
    return kStatusRefused;
}
