#include "config/start_up_request.h"

#include "common/net_timeouts.h"
#include "common/redirect.h"
#include "common/url.h"

DWORD StatusCode(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return 0;
    return status;
}

StartUpRequest::StartUpRequest(const char* userAgent, const char* verb, const char* url, const char* version,
                               DWORD flags, const char* headers, const std::atomic<bool>& givenUp)
{
    internet_.Reset(InternetOpenA(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    char current[kTextSize];
    if (!internet_ || !CopyTextWhole(current, url)) return;
    ApplyTimeouts(internet_.Get(), kStartUpBudgetMs);
    for (int hop = 0; hop <= kMaxRedirects && !givenUp; ++hop) {
        UrlParts parts;
        if (!ParseUrl(current, parts)) return;
        if (!hop_.Send(internet_.Get(), verb, parts, version, flags, headers, kStartUpBudgetMs)) return;
        if (!IsFollowedRedirect(StatusCode(hop_.request.Get()))) {
            answered_ = true;
            return;
        }
        char next[kTextSize];
        if (!NextHop(hop_.request.Get(), current, next)) return;
        CopyText(current, next);
    }
}
