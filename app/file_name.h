// Local file names taken from download URLs.
#pragma once
#include <cstddef>

// The text after the last "/" of url, or nullptr when url has no "/".
const char* UrlFileName(const char* url);

// False for names that could reach outside the target folder or that
// Windows refuses: empty, ".", "..", or holding "\", ":", a control
// character or one of *?"<>|.
bool IsSafeFileName(const char* name);
