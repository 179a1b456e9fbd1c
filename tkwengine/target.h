// Where a file can be fetched from: the URL's own host, then the mirrors.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/text.h"
#include "common/url.h"

constexpr size_t kNoEndpoint = SIZE_MAX;

struct Target {
    static constexpr size_t kMaxEndpoints = 9;
    char path[kTextSize] = {};  // path and query, sent as is
    bool secure = false;
    HttpEndpoint endpoints[kMaxEndpoints];
    size_t count = 0;
};

// Fills target with the URL's host and path; false for anything but a
// well-formed http or https URL.
bool ParseTarget(const char* url, Target& target);

// The URL of target's path on endpoint, where its requests start; false
// when it does not fit.
bool EndpointUrl(const Target& target, const HttpEndpoint& endpoint, char (&url)[kTextSize]);

// Appends the ";"-separated "host[:port]" entries of serverList, as many as
// fit; one already among target's is not asked twice a round.
void AppendMirrors(const char* serverList, Target& target);

// The index of endpoint among target's, or kNoEndpoint.
size_t FindEndpoint(const Target& target, const HttpEndpoint& endpoint);
