#include "tkwengine/url_parts.h"

#include <cstdlib>
#include <cstring>

namespace {

bool ParseEndpoint(const char* text, size_t length, INTERNET_PORT defaultPort, Endpoint& out)
{
    while (length > 0 && *text == ' ') ++text, --length;
    while (length > 0 && text[length - 1] == ' ') --length;
    const char* colon = static_cast<const char*>(std::memchr(text, ':', length));
    size_t hostLength = colon ? static_cast<size_t>(colon - text) : length;
    if (hostLength == 0 || hostLength >= sizeof out.host) return false;
    std::memcpy(out.host, text, hostLength);
    out.host[hostLength] = '\0';
    out.port = defaultPort;
    if (!colon) return true;
    char digits[8] = {};
    size_t digitCount = length - hostLength - 1;
    if (digitCount == 0 || digitCount >= sizeof digits) return false;
    std::memcpy(digits, colon + 1, digitCount);
    char* end = nullptr;
    long port = std::strtol(digits, &end, 10);
    if (*end != '\0' || port <= 0 || port > 65535) return false;
    out.port = static_cast<INTERNET_PORT>(port);
    return true;
}

}  // namespace

bool ParseUrl(const char* url, Target& target)
{
    if (!url || std::strlen(url) >= kTextSize) return false;
    char host[256] = {}, path[kTextSize] = {}, extra[kTextSize] = {};
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof extra;
    if (!InternetCrackUrlA(url, 0, 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    if (host[0] == '\0' || path[0] != '/') return false;
    target = Target();
    target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    if (!CopyTextWhole(target.path, path) || !CopyTextWhole(target.path + std::strlen(path), sizeof target.path - std::strlen(path), extra))
        return false;
    std::memcpy(target.endpoints[0].host, host, sizeof host);
    target.endpoints[0].port = parts.nPort;
    target.count = 1;
    return true;
}

void AppendMirrors(const char* serverList, Target& target)
{
    if (!serverList) return;
    INTERNET_PORT defaultPort = target.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    const char* p = serverList;
    while (*p && target.count < Target::kMaxEndpoints) {
        size_t length = std::strcspn(p, ";");
        if (ParseEndpoint(p, length, defaultPort, target.endpoints[target.count])) ++target.count;
        p += length;
        if (*p == ';') ++p;
    }
}
