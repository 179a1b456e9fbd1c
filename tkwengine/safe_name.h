// Local file names taken from URLs: only names that stay inside the target
// folder and are written under exactly that name are accepted.
#pragma once
#include <cstddef>

bool IsSafeFileName(const char* name);

// The URL's last "/" segment (the whole URL text, as the program sees it),
// copied into out when it is a safe name that fits.
bool FileNameFromUrl(const char* url, char* out, size_t capacity);
