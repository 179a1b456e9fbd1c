#include "common/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

size_t CharBoundaryPrefix(const char* text, size_t limit)
{
    size_t i = 0;
    while (i < limit && text[i] != '\0') {
        size_t step = IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
        // A lead byte without its trail byte is half a character: leave it out.
        if (step == 2 && text[i + 1] == '\0') break;
        if (i + step > limit) break;
        i += step;
    }
    return i;
}

bool CopyText(char* dst, size_t capacity, const char* src)
{
    if (capacity == 0) return false;
    if (src == nullptr) src = "";
    size_t n = CharBoundaryPrefix(src, capacity - 1);
    memmove(dst, src, n);
    dst[n] = '\0';
    return src[n] == '\0';
}

bool CopyTextWhole(char* dst, size_t capacity, const char* src)
{
    if (src == nullptr) src = "";
    if (strlen(src) >= capacity) return false;
    memmove(dst, src, strlen(src) + 1);
    return true;
}

bool FormatText(char* dst, size_t capacity, const char* format, ...)
{
    if (capacity == 0) return false;
    va_list args;
    va_start(args, format);
    int needed = vsnprintf(dst, capacity, format, args);
    va_end(args);
    if (needed < 0) {
        dst[0] = '\0';
        return false;
    }
    dst[CharBoundaryPrefix(dst, capacity - 1)] = '\0';
    return static_cast<size_t>(needed) < capacity;
}
