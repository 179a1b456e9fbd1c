#include "config/text_rules.h"

#include <cstring>

const char* LocalFileName(const char* url)
{
    const char* slash = strrchr(url, '/');
    return slash ? slash + 1 : url;
}

bool IsSafeFileName(const char* name)
{
    if (name[0] == '\0' || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        if (*p < 0x20 || *p == 0x7f) return false;
        if (strchr("\\/:*?\"<>|", *p) != nullptr) return false;
    }
    return true;
}

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
