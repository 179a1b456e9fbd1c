// Request flags a URL's scheme asks for, the same for the program and the
// engine module.
#pragma once
#include <windows.h>
#include <wininet.h>

// https: TLS, with every certificate check in force (no flag here or anywhere
// waives one). Every request follows its redirects itself
// (common/redirect.h): WinINet would follow any, and under Wine one from
// https to http silently.
constexpr DWORD SchemeRequestFlags(bool secure)
{
    return (secure ? INTERNET_FLAG_SECURE : 0) | INTERNET_FLAG_NO_AUTO_REDIRECT;
}
