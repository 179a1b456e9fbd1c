// Rules for texts that come from documents and servers.
#pragma once
#include <cstdint>

// Text after the last "/" of a URL (the whole text when there is none).
const char* LocalFileName(const char* url);

// False for names that could reach outside the target folder or are not
// valid Windows file names.
bool IsSafeFileName(const char* name);

// Value of a positive decimal text without sign or blanks; 0 for anything
// else, including values that do not fit 64 bits.
int64_t ParsePositiveSize(const char* text);
