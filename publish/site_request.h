// One request of a site check, its redirects followed as the program and
// the engine follow them (never from https to http), its answer's headers
// kept and, when asked for, its body counted and hashed.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

#include "common/sha256.h"

struct SiteAnswer {
    bool answered = false;
    DWORD error = 0;          // why no answer came (a WinINet error code)
    bool downgraded = false;  // a redirect from https to http, which nothing follows
    DWORD status = 0;
    std::string length, range, etag, lastModified, type;  // empty when absent
    uint64_t bodyBytes = 0;
    char sha256[kSha256TextSize] = {};  // of the body, when it was read
};

enum class Body { Left, Read };

// verb for url, with headers ("Name: value\r\n" lines; may be empty). A
// body left unread is never read: every request says Connection: close.
SiteAnswer AskSite(HINTERNET internet, const char* verb, const std::string& url, const std::string& headers,
                   Body body);

// What a request that got no answer failed of, in words.
std::string FailureText(const SiteAnswer& answer);
