// URLs of documents and files: "http://" or "https://", host, optional port,
// and a path that starts with "/" (query included, sent as is).
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/text.h"

struct HttpEndpoint {
    char host[256] = {};
    uint16_t port = 0;
};

struct UrlParts {
    bool secure = false;  // https
    HttpEndpoint endpoint;
    char path[kTextSize] = {};
};

// False for anything but a well-formed http or https URL shorter than
// kTextSize; parts is then unspecified.
bool ParseUrl(const char* url, UrlParts& parts);

// "host[:port]" of length bytes, blanks around it ignored; the port defaults
// to the scheme's own.
bool ParseEndpoint(const char* text, size_t length, bool secure, HttpEndpoint& out);

// The name a URL's file is saved under: the text after its last "/" (the
// whole text when there is none).
const char* LocalFileName(const char* url);
