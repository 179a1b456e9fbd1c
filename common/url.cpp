#include "common/url.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr uint16_t kHttpPort = 80;
constexpr uint16_t kHttpsPort = 443;

// Decimal 1..65535 and nothing else.
bool ParsePort(const char* digits, size_t count, uint16_t& port)
{
    if (count == 0 || count > 5) return false;
    unsigned long value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (digits[i] < '0' || digits[i] > '9') return false;
        value = value * 10 + static_cast<unsigned long>(digits[i] - '0');
    }
    if (value == 0 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

// Length of the scheme prefix, 0 when it is neither http nor https.
size_t SchemeLength(const char* url, bool& secure)
{
    secure = _strnicmp(url, "https://", 8) == 0;
    if (secure) return 8;
    return _strnicmp(url, "http://", 7) == 0 ? 7 : 0;
}

}  // namespace

bool ParseEndpoint(const char* text, size_t length, bool secure, HttpEndpoint& out)
{
    while (length > 0 && *text == ' ') ++text, --length;
    while (length > 0 && text[length - 1] == ' ') --length;
    // A bracketed IPv6 address keeps its colons; the port follows the bracket.
    const char* close = text[0] == '[' ? static_cast<const char*>(std::memchr(text, ']', length)) : text;
    if (!close) return false;
    const char* colon = static_cast<const char*>(std::memchr(close, ':', length - static_cast<size_t>(close - text)));
    size_t hostLength = colon ? static_cast<size_t>(colon - text) : length;
    if (hostLength == 0 || hostLength >= sizeof out.host) return false;
    std::memcpy(out.host, text, hostLength);
    out.host[hostLength] = '\0';
    out.port = secure ? kHttpsPort : kHttpPort;
    return !colon || ParsePort(colon + 1, length - hostLength - 1, out.port);
}

bool ParseUrl(const char* url, UrlParts& parts)
{
    if (!url || std::strlen(url) >= kTextSize) return false;
    size_t scheme = SchemeLength(url, parts.secure);
    if (scheme == 0) return false;
    const char* host = url + scheme;
    const char* slash = std::strchr(host, '/');
    if (!slash) return false;
    size_t hostLength = static_cast<size_t>(slash - host);
    // Blanks belong to neither host nor port of a URL.
    if (std::memchr(host, ' ', hostLength)) return false;
    return ParseEndpoint(host, hostLength, parts.secure, parts.endpoint) && CopyTextWhole(parts.path, slash);
}

const char* LocalFileName(const char* url)
{
    const char* slash = std::strrchr(url, '/');
    return slash ? slash + 1 : url;
}
