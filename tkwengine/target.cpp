#include "tkwengine/target.h"

#include <cstring>

bool ParseTarget(const char* url, Target& target)
{
    UrlParts parts;
    if (!ParseUrl(url, parts)) return false;
    target = Target();
    target.secure = parts.secure;
    std::memcpy(target.path, parts.path, sizeof target.path);
    target.endpoints[0] = parts.endpoint;
    target.count = 1;
    return true;
}

bool EndpointUrl(const Target& target, const HttpEndpoint& endpoint, char (&url)[kTextSize])
{
    return FormatText(url, sizeof url, "%s://%s:%u%s", target.secure ? "https" : "http", endpoint.host,
                      static_cast<unsigned>(endpoint.port), target.path);
}

void AppendMirrors(const char* serverList, Target& target)
{
    if (!serverList) return;
    const char* p = serverList;
    while (*p && target.count < Target::kMaxEndpoints) {
        size_t length = std::strcspn(p, ";");
        if (ParseEndpoint(p, length, target.secure, target.endpoints[target.count])) ++target.count;
        p += length;
        if (*p == ';') ++p;
    }
}
