#include "tkwengine/exchange.h"

#include <cstdlib>
#include <cstring>

#include "common/net_timeouts.h"
#include "common/scheme_flags.h"
#include "common/text.h"

namespace {

constexpr DWORD kRangeNotSatisfiable = 416;  // WinINet names no such status

constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;

void RangeHeader(ByteRange range, char (&out)[64])
{
    if (range.to)
        FormatText(out, sizeof out, "Range: bytes=%I64u-%I64u\r\n", range.from, range.to - 1);
    else
        FormatText(out, sizeof out, "Range: bytes=%I64u-\r\n", range.from);
}

// Decimal digits and nothing else, up to the delimiter.
bool ParseNumber(const char*& text, char delimiter, uint64_t& out)
{
    char* end = nullptr;
    if (*text < '0' || *text > '9') return false;
    out = std::strtoull(text, &end, 10);
    if (*end != delimiter) return false;
    text = end + 1;
    return true;
}

// "bytes FIRST-LAST/TOTAL"
ContentRange ParseContentRange(const char* text)
{
    ContentRange range;
    if (_strnicmp(text, "bytes ", 6) != 0) return range;
    text += 6;
    range.startKnown = ParseNumber(text, '-', range.first);
    range.valid = range.startKnown && ParseNumber(text, '/', range.last) && ParseNumber(text, '\0', range.total) &&
                  range.first <= range.last && range.last < range.total;
    return range;
}

}  // namespace

bool Exchange::Open(HINTERNET session, const HttpEndpoint& endpoint, const Target& target, ByteRange range)
{
    Close();
    connection_.Reset(
        InternetConnectA(session, endpoint.host, endpoint.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection_.Get()) return false;
    DWORD flags = kRequestFlags | SchemeRequestFlags(target.secure);
    HINTERNET request = HttpOpenRequestA(connection_.Get(), "GET", target.path, nullptr, nullptr, nullptr, flags, 0);
    if (!request) return false;
    ApplyTimeouts(request, kTransferTimeoutMs);
    if (!requests_.Attach(slot_, request)) return false;
    request_ = request;
    char header[64] = {};
    bool ranged = range.from || range.to;
    if (ranged) RangeHeader(range, header);
    if (!HttpSendRequestA(request, ranged ? header : nullptr, ranged ? static_cast<DWORD>(-1) : 0, nullptr, 0))
        return false;
    ReadHeaders();
    return status_ != kNoStatus;
}

void Exchange::Close()
{
    if (request_) requests_.Close(slot_);
    request_ = nullptr;
    connection_.Reset();
    status_ = kNoStatus;
    contentRange_ = ContentRange();
}

Outcome Exchange::StatusOutcome() const
{
    if (status_ == HTTP_STATUS_OK || status_ == HTTP_STATUS_PARTIAL_CONTENT) return Outcome::Ok;
    if (status_ == HTTP_STATUS_FORBIDDEN) return Outcome::Forbidden;
    if (status_ == HTTP_STATUS_NOT_FOUND || status_ == HTTP_STATUS_GONE) return Outcome::NotFound;
    if (status_ == kRangeNotSatisfiable) return Outcome::RangeRefused;
    if (status_ >= HTTP_STATUS_SERVER_ERROR) return Outcome::ServerFailed;
    return Outcome::UnexpectedStatus;
}

bool Exchange::Carries(ByteRange range, uint64_t total) const
{
    return status_ == HTTP_STATUS_PARTIAL_CONTENT && contentRange_.valid && contentRange_.first == range.from &&
           contentRange_.last + 1 == range.to && contentRange_.total == total;
}

void Exchange::ReadHeaders()
{
    DWORD size = sizeof status_;
    if (!HttpQueryInfoA(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status_, &size, nullptr))
        status_ = kNoStatus;
    char text[128] = {};
    size = sizeof text - 1;
    if (status_ == HTTP_STATUS_PARTIAL_CONTENT && HttpQueryInfoA(request_, HTTP_QUERY_CONTENT_RANGE, text, &size, nullptr))
        contentRange_ = ParseContentRange(text);
}
