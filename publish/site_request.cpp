#include "publish/site_request.h"

#include <cstring>
#include <vector>

#include "common/http_hop.h"
#include "common/redirect.h"
#include "common/url.h"

namespace {

constexpr DWORD kTimeoutMs = 15000;
constexpr DWORD kFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                         INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;

std::string Header(HINTERNET request, DWORD info)
{
    char text[1024] = {};
    DWORD size = sizeof text - 1;
    return HttpQueryInfoA(request, info, text, &size, nullptr) ? std::string(text) : std::string();
}

void ReadAnswer(HINTERNET request, Body body, SiteAnswer& answer)
{
    DWORD size = sizeof answer.status;
    HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &answer.status, &size, nullptr);
    answer.length = Header(request, HTTP_QUERY_CONTENT_LENGTH);
    answer.range = Header(request, HTTP_QUERY_CONTENT_RANGE);
    answer.etag = Header(request, HTTP_QUERY_ETAG);
    answer.lastModified = Header(request, HTTP_QUERY_LAST_MODIFIED);
    answer.type = Header(request, HTTP_QUERY_CONTENT_TYPE);
    if (body == Body::Left) return;
    Sha256 sha;
    std::vector<char> chunk(1 << 20);
    for (DWORD got = 0; InternetReadFile(request, chunk.data(), static_cast<DWORD>(chunk.size()), &got) && got;) {
        sha.Add(chunk.data(), got);
        answer.bodyBytes += got;
    }
    sha.Finish(answer.sha256);
}

// A Location that names http from an https URL: the one redirect the
// program and the engine refuse on purpose.
bool IsDowngrade(const UrlParts& from, HINTERNET request)
{
    const std::string location = Header(request, HTTP_QUERY_LOCATION);
    return from.secure && _strnicmp(location.c_str(), "http://", 7) == 0;
}

}  // namespace

SiteAnswer AskSite(HINTERNET internet, const char* verb, const std::string& url, const std::string& headers,
                   Body body)
{
    SiteAnswer answer;
    const std::string sent = headers + "Connection: close\r\n";
    const bool head = std::strcmp(verb, "HEAD") == 0;
    char current[kTextSize];
    if (!CopyTextWhole(current, url.c_str())) return answer;
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        UrlParts parts;
        HttpHop request;
        if (!ParseUrl(current, parts)) return answer;
        if (!request.Send(internet, verb, parts, head ? "HTTP/1.0" : nullptr, kFlags, sent.c_str(), kTimeoutMs)) {
            answer.error = GetLastError();
            return answer;
        }
        DWORD status = 0, size = sizeof status;
        HttpQueryInfoA(request.request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                       nullptr);
        char next[kTextSize];
        if (!IsFollowedRedirect(status)) {
            answer.answered = true;
            ReadAnswer(request.request.Get(), head ? Body::Left : body, answer);
            return answer;
        }
        if (!NextHop(request.request.Get(), current, next)) {
            answer.downgraded = IsDowngrade(parts, request.request.Get());
            return answer;
        }
        CopyText(current, next);
    }
    return answer;
}

std::string FailureText(const SiteAnswer& answer)
{
    if (answer.downgraded) return "it redirects from https to http, which the downloader never follows";
    switch (answer.error) {
    case ERROR_INTERNET_INVALID_CA: return "its certificate is not from an authority Windows trusts";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID: return "its certificate is for another host name";
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID: return "its certificate has expired or is not yet valid";
    case ERROR_INTERNET_SEC_CERT_REVOKED: return "its certificate is revoked";
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR: return "its TLS certificate or handshake fails Windows' checks";
    case ERROR_INTERNET_TIMEOUT: return "it does not answer in time";
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return "its host name does not resolve";
    case ERROR_INTERNET_CANNOT_CONNECT: return "nothing accepts a connection there";
    case 0: return "it cannot be asked (the URL, or too many redirects)";
    default: return "the request fails (WinINet error " + std::to_string(answer.error) + ")";
    }
}
