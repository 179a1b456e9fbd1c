// One hop of a request: a connection to the URL's host and a request with
// the flags of its scheme (common/scheme_flags.h), sent. Each request
// carries its own time-outs: Wine hands only the connect time-out down from
// the internet handle.
#pragma once
#include <windows.h>
#include <wininet.h>

#include "common/url.h"
#include "common/win_handles.h"

struct HttpHop {
    // verb for to's path with headers (null or empty: none); false when no
    // answer came.
    bool Send(HINTERNET internet, const char* verb, const UrlParts& to, const char* version, DWORD flags,
              const char* headers, DWORD timeoutMs);

    InetHandle connection, request;  // closed in reverse order
};
