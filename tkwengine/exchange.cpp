#include "tkwengine/exchange.h"

#include <cstdlib>
#include <cstring>

#include "common/net_timeouts.h"
#include "common/scheme_flags.h"

namespace {

constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;

// "Range: bytes=N-\r\n" without relying on the runtime's 64-bit printf.
void RangeHeader(uint64_t offset, char (&out)[64])
{
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + offset % 10);
        offset /= 10;
    } while (offset);
    char* p = out;
    std::memcpy(p, "Range: bytes=", 13);
    p += 13;
    while (n) *p++ = digits[--n];
    std::memcpy(p, "-\r\n", 4);
}

}  // namespace

bool Exchange::Open(HINTERNET session, const HttpEndpoint& endpoint, const Target& target, uint64_t offset)
{
    Close();
    connection_.Reset(
        InternetConnectA(session, endpoint.host, endpoint.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection_.Get()) return false;
    DWORD flags = kRequestFlags | SchemeRequestFlags(target.secure);
    HINTERNET request = HttpOpenRequestA(connection_.Get(), "GET", target.path, nullptr, nullptr, nullptr, flags, 0);
    if (!request) return false;
    ApplyTimeouts(request, kTransferTimeoutMs);
    if (!gate_.Attach(request)) return false;
    request_ = request;
    char range[64] = {};
    if (offset) RangeHeader(offset, range);
    if (!HttpSendRequestA(request, offset ? range : nullptr, offset ? static_cast<DWORD>(-1) : 0, nullptr, 0))
        return false;
    ReadHeaders();
    return status_ != 0;
}

void Exchange::Close()
{
    if (request_) gate_.CloseAttached();
    request_ = nullptr;
    connection_.Reset();
    status_ = 0;
    rangeStart_ = 0;
}

void Exchange::ReadHeaders()
{
    DWORD size = sizeof status_;
    if (!HttpQueryInfoA(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status_, &size, nullptr))
        status_ = 0;
    char contentRange[128] = {};
    size = sizeof contentRange - 1;
    if (status_ == 206 && HttpQueryInfoA(request_, HTTP_QUERY_CONTENT_RANGE, contentRange, &size, nullptr) &&
        _strnicmp(contentRange, "bytes ", 6) == 0)
        rangeStart_ = std::strtoull(contentRange + 6, nullptr, 10);
}
