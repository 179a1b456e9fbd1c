#include "common/http_hop.h"

#include "common/net_timeouts.h"
#include "common/scheme_flags.h"

bool HttpHop::Send(HINTERNET internet, const char* verb, const UrlParts& to, const char* version, DWORD flags,
                   const char* headers, DWORD timeoutMs)
{
    request.Reset();
    connection.Reset(InternetConnectA(internet, to.endpoint.host, to.endpoint.port, nullptr, nullptr,
                                      INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return false;
    flags |= SchemeRequestFlags(to.secure);
    request.Reset(HttpOpenRequestA(connection.Get(), verb, to.path, version, nullptr, nullptr, flags, 0));
    if (!request) return false;
    ApplyTimeouts(request.Get(), timeoutMs);
    const bool any = headers && headers[0];
    return HttpSendRequestA(request.Get(), any ? headers : nullptr, any ? static_cast<DWORD>(-1) : 0, nullptr, 0);
}
