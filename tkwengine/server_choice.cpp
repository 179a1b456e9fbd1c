#include "tkwengine/server_choice.h"

#include <cstring>

size_t ServerChoice::Order(size_t preferred, size_t (&out)[Target::kMaxEndpoints]) const
{
    size_t count = 0;
    if (preferred < count_) out[count++] = preferred;
    for (size_t index = 0; index < count_; ++index)
        if (index != preferred) out[count++] = index;
    return count;
}

size_t FindEndpoint(const Target& target, const HttpEndpoint& endpoint)
{
    for (size_t index = 0; index < target.count; ++index)
        if (_stricmp(target.endpoints[index].host, endpoint.host) == 0 && target.endpoints[index].port == endpoint.port)
            return index;
    return ServerChoice::kNone;
}
