#include "config/start_up_request.h"

#include "common/net_timeouts.h"
#include "common/redirect.h"
#include "common/scheme_flags.h"
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
        if (!Send(verb, current, version, flags, headers)) return;
        if (!IsFollowedRedirect(StatusCode(request_.Get()))) {
            answered_ = true;
            return;
        }
        char next[kTextSize];
        if (!NextHop(request_.Get(), current, next)) return;
        CopyText(current, next);
    }
}

bool StartUpRequest::Send(const char* verb, const char* url, const char* version, DWORD flags, const char* headers)
{
    UrlParts parts;
    request_.Reset();
    connection_.Reset();
    if (!ParseUrl(url, parts)) return false;
    connection_.Reset(InternetConnectA(internet_.Get(), parts.endpoint.host, parts.endpoint.port, nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection_) return false;
    flags |= SchemeRequestFlags(parts.secure);
    request_.Reset(HttpOpenRequestA(connection_.Get(), verb, parts.path, version, nullptr, nullptr, flags, 0));
    if (!request_) return false;
    ApplyTimeouts(request_.Get(), kStartUpBudgetMs);
    return HttpSendRequestA(request_.Get(), headers, headers ? static_cast<DWORD>(-1) : 0, nullptr, 0);
}
