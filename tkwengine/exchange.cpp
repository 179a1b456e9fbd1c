#include "tkwengine/exchange.h"

#include <cstring>
#include <memory>
#include <string>

#include "common/bounded_task.h"
#include "common/http_hop.h"
#include "common/redirect.h"
#include "common/text.h"
#include "tkwengine/retry_pace.h"

namespace {

constexpr DWORD kRangeNotSatisfiable = 416;  // WinINet names no such status
constexpr DWORD kTooManyRequests = 429;

constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;

std::string RangeHeaders(const ByteRange* ranges, size_t count, const Validator& ifRange)
{
    std::string headers = "Range: bytes=";
    for (size_t i = 0; i < count; ++i) {
        char spec[48] = {};
        if (ranges[i].to)
            FormatText(spec, sizeof spec, "%s%I64u-%I64u", i ? "," : "", ranges[i].from, ranges[i].to - 1);
        else
            FormatText(spec, sizeof spec, "%s%I64u-", i ? "," : "", ranges[i].from);
        headers += spec;
    }
    headers += "\r\n";
    if (!ifRange.Empty()) headers += std::string("If-Range: ") + ifRange.text + "\r\n";
    return headers;
}

// A header's text; false when the answer has none or it does not fit.
bool QueryText(HINTERNET request, DWORD info, char* text, DWORD capacity)
{
    DWORD size = capacity - 1;
    return HttpQueryInfoA(request, info, text, &size, nullptr) != FALSE;
}

// The boundary of "multipart/byteranges; boundary=X" (X maybe quoted); false for any other type.
bool ReadBoundary(const char* type, char* boundary, size_t capacity)
{
    const char* kind = "multipart/byteranges";
    const char* at = std::strstr(type, "boundary=");
    if (_strnicmp(type, kind, std::strlen(kind)) != 0 || at == nullptr) return false;
    at += std::strlen("boundary=");
    const bool quoted = *at == '"';
    const size_t length = std::strcspn(at + quoted, quoted ? "\"" : "; \t");
    if (length == 0 || length >= capacity) return false;
    std::memcpy(boundary, at + quoted, length);
    boundary[length] = '\0';
    return true;
}

// A strong ETag (a weak one may not go into If-Range), else Last-Modified.
Validator ReadVersion(HINTERNET request)
{
    Validator version;
    if (QueryText(request, HTTP_QUERY_ETAG, version.text, sizeof version.text) && version.text[0] == '"')
        return version;
    version = Validator();
    if (!QueryText(request, HTTP_QUERY_LAST_MODIFIED, version.text, sizeof version.text)) version = Validator();
    return version;
}

DWORD ReadRetryAfter(HINTERNET request)
{
    char text[64] = {};
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    DWORD ms = 0;
    return QueryText(request, HTTP_QUERY_RETRY_AFTER, text, sizeof text) && ParseRetryAfter(text, now, ms) ? ms : 0;
}

// A request on its way out, owned by the task that sends it until the
// exchange takes it.
struct PendingRequest {
    HttpHop hop;
    bool answered = false;
};

}  // namespace

// Every hop carries the same headers: a ranged request keeps its Range and
// If-Range wherever it is sent.
bool Exchange::Open(HINTERNET session, const HttpEndpoint& endpoint, const Target& target, const ByteRange* ranges,
                    size_t count, const Validator& ifRange)
{
    Close();
    char url[kTextSize];
    const bool whole = count == 1 && ranges[0].from == 0 && ranges[0].to == 0;
    const std::string headers = whole ? std::string() : RangeHeaders(ranges, count, ifRange);
    if (!EndpointUrl(target, endpoint, url)) return false;
    for (int hop = 0; Send(session, url, headers.c_str()); ++hop) {
        if (!IsFollowedRedirect(status_)) return true;
        char next[kTextSize];
        if (hop == kMaxRedirects || !NextHop(request_, url, next)) break;
        CopyText(url, next);
    }
    Close();
    return false;
}

// One hop: the request goes to url's own host, with the flags of url's
// scheme. A cancel, or a hop past its budget, leaves the request to its task.
bool Exchange::Send(HINTERNET session, const char* url, const char* headers)
{
    Close();
    UrlParts parts;
    if (!ParseUrl(url, parts)) return false;
    auto pending = std::make_shared<PendingRequest>();
    auto send = [pending, session, parts, text = std::string(headers)](const std::atomic<bool>&) {
        pending->answered = pending->hop.Send(session, "GET", parts, nullptr, kRequestFlags, text.c_str(),
                                              kTransferTimeoutMs);
    };
    BoundedTask task(send, kSendBudgetMs);
    if (!task.Wait(requests_.Signal().Event()) || !pending->answered) return false;
    connection_.Reset(pending->hop.connection.Release());
    HINTERNET request = pending->hop.request.Release();
    if (!requests_.Attach(slot_, request)) return false;
    request_ = request;
    ReadHeaders();
    return status_ != kNoStatus;
}

void Exchange::Abandon()
{
    HINTERNET request = request_ ? requests_.Detach(slot_) : nullptr;
    HINTERNET connection = connection_.Release();
    request_ = nullptr;
    Close();
    const auto close = [request, connection](const std::atomic<bool>&) {
        if (request) InternetCloseHandle(request);
        if (connection) InternetCloseHandle(connection);
    };
    BoundedTask closing(close, 0);
    if (!closing.Started()) close(std::atomic<bool>(false));
}

void Exchange::Close()
{
    if (request_) requests_.Close(slot_);
    request_ = nullptr;
    connection_.Reset();
    status_ = kNoStatus;
    contentRange_ = ContentRange();
    boundary_[0] = '\0';
    lengthKnown_ = false;
    version_ = Validator();
    retryAfterMs_ = 0;
}

Outcome Exchange::StatusOutcome() const
{
    if (status_ == HTTP_STATUS_OK || status_ == HTTP_STATUS_PARTIAL_CONTENT) return Outcome::Ok;
    if (status_ == HTTP_STATUS_FORBIDDEN) return Outcome::Forbidden;
    if (status_ == HTTP_STATUS_NOT_FOUND || status_ == HTTP_STATUS_GONE) return Outcome::NotFound;
    if (status_ == kRangeNotSatisfiable) return Outcome::RangeRefused;
    if (status_ >= HTTP_STATUS_SERVER_ERROR || status_ == kTooManyRequests) return Outcome::ServerFailed;
    return Outcome::UnexpectedStatus;
}

Outcome Exchange::Fits(uint64_t size, const Validator& kept) const
{
    if (Outcome outcome = StatusOutcome(); outcome != Outcome::Ok) return outcome;
    bool partial = status_ == HTTP_STATUS_PARTIAL_CONTENT;
    bool totalKnown = partial ? contentRange_.valid : lengthKnown_;
    uint64_t total = partial ? contentRange_.total : length_;
    if (size && totalKnown && total != size) return Outcome::SizeChanged;
    return partial && !kept.Empty() && version_ != kept ? Outcome::FileChanged : Outcome::Ok;
}

bool Exchange::Carries(ByteRange range, uint64_t total, const Validator& version) const
{
    return status_ == HTTP_STATUS_PARTIAL_CONTENT && contentRange_.valid && contentRange_.first == range.from &&
           contentRange_.last + 1 == range.to && contentRange_.total == total &&
           (version.Empty() || version_ == version);
}

bool Exchange::CarriesParts(const Validator& version) const
{
    return status_ == HTTP_STATUS_PARTIAL_CONTENT && boundary_[0] != '\0' && (version.Empty() || version_ == version);
}

void Exchange::ReadHeaders()
{
    DWORD size = sizeof status_;
    if (!HttpQueryInfoA(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status_, &size, nullptr))
        status_ = kNoStatus;
    char text[128] = {};
    if (status_ == HTTP_STATUS_PARTIAL_CONTENT && QueryText(request_, HTTP_QUERY_CONTENT_RANGE, text, sizeof text))
        contentRange_ = ParseContentRange(text);
    char type[kBoundarySize + 64] = {};
    if (status_ == HTTP_STATUS_PARTIAL_CONTENT && QueryText(request_, HTTP_QUERY_CONTENT_TYPE, type, sizeof type) &&
        !ReadBoundary(type, boundary_, sizeof boundary_))
        boundary_[0] = '\0';
    char length[32] = {};
    const char* digits = length;
    lengthKnown_ = QueryText(request_, HTTP_QUERY_CONTENT_LENGTH, length, sizeof length) &&
                   ParseDecimal(digits, '\0', length_);
    version_ = ReadVersion(request_);
    const bool busy = status_ == HTTP_STATUS_SERVICE_UNAVAIL || status_ == kTooManyRequests;
    retryAfterMs_ = busy ? ReadRetryAfter(request_) : 0;
}
