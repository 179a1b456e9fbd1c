#include "common/size_text.h"

int64_t ParsePositiveSize(const char* text)
{
    if (text == nullptr || text[0] == '\0') return 0;
    int64_t value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        const int digit = *p - '0';
        if (value > (INT64_MAX - digit) / 10) return 0;
        value = value * 10 + digit;
    }
    return value;
}
