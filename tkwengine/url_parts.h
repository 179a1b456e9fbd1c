// Where a file can be fetched from: the URL's own host, then the mirrors.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstddef>

#include "app/text.h"

struct Endpoint {
    char host[256] = {};
    INTERNET_PORT port = 0;
};

struct Target {
    static constexpr size_t kMaxEndpoints = 9;
    char path[kTextSize] = {};  // path and query, sent as is
    bool secure = false;
    Endpoint endpoints[kMaxEndpoints];
    size_t count = 0;
};

// Fills target with the URL's host and path; false for anything but a
// well-formed http or https URL.
bool ParseUrl(const char* url, Target& target);

// Appends the ";"-separated "host[:port]" entries of serverList, as many as fit.
void AppendMirrors(const char* serverList, Target& target);
