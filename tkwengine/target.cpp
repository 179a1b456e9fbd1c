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

size_t FindEndpoint(const Target& target, const HttpEndpoint& endpoint)
{
    for (size_t index = 0; index < target.count; ++index)
        if (_stricmp(target.endpoints[index].host, endpoint.host) == 0 && target.endpoints[index].port == endpoint.port)
            return index;
    return kNoEndpoint;
}

void AppendMirrors(const char* serverList, Target& target)
{
    if (!serverList) return;
    const char* p = serverList;
    while (*p && target.count < Target::kMaxEndpoints) {
        size_t length = std::strcspn(p, ";");
        HttpEndpoint mirror;
        if (ParseEndpoint(p, length, target.secure, mirror) && FindEndpoint(target, mirror) == kNoEndpoint)
            target.endpoints[target.count++] = mirror;
        p += length;
        if (*p == ';') ++p;
    }
}
