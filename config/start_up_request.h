// One request of start-up, made on the thread of the task that owns it
// (common/bounded_task.h). It follows redirects itself (common/redirect.h),
// each hop with the same verb, headers and flags, and is not made when one
// cannot be followed.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <atomic>

#include "common/http_hop.h"
#include "common/text.h"
#include "common/win_handles.h"

// From the moment a request of start-up is asked for to its last byte: a
// silent or trickling server must not keep the window from appearing.
constexpr DWORD kStartUpBudgetMs = 6000;

// The answer's status, 0 when it has none.
DWORD StatusCode(HINTERNET request);

class StartUpRequest {
public:
    StartUpRequest(const char* userAgent, const char* verb, const char* url, const char* version, DWORD flags,
                   const char* headers, const std::atomic<bool>& givenUp);
    StartUpRequest(const StartUpRequest&) = delete;
    StartUpRequest& operator=(const StartUpRequest&) = delete;
    // The answered request; null when it could not be made.
    HINTERNET Get() const { return answered_ ? hop_.request.Get() : nullptr; }

private:
    InetHandle internet_;
    HttpHop hop_;  // closed before the internet handle
    bool answered_ = false;
};
