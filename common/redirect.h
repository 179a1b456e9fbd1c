// Redirects as a browser follows them, never downgraded: the program and the
// engine module follow them themselves, WinINet never does (under Wine it
// would follow one from https to http silently).
#pragma once
#include <windows.h>
#include <wininet.h>

#include "common/text.h"

// Hops after the first request; one more redirect is a failed request.
constexpr int kMaxRedirects = 5;

// 301, 302, 303, 307 and 308.
bool IsFollowedRedirect(DWORD status);

// Where a Location answer to url points: an absolute URL, or one relative to
// url (scheme-relative, absolute path, relative path, query), with dot
// segments resolved and the fragment dropped. False when it is none of
// these, does not fit, or leads from https to http.
bool ResolveRedirect(const char* url, const char* location, char (&next)[kTextSize]);

// Where an answered request to url that is a followed redirect leads: its
// Location resolved as above. False when it has none or it cannot be followed.
bool NextHop(HINTERNET request, const char* url, char (&next)[kTextSize]);
