// Request flags a URL's scheme asks for, the same for the program and the
// engine module.
#pragma once
#include <windows.h>
#include <wininet.h>

// https: TLS, with every certificate check in force (no flag here or anywhere
// waives one). WinINet under Wine follows a redirect from https to http
// silently, so a secure request follows no redirect by itself.
constexpr DWORD SchemeRequestFlags(bool secure)
{
    return secure ? INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_AUTO_REDIRECT : 0;
}
