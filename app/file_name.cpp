#include "app/file_name.h"

#include <cstring>

const char* UrlFileName(const char* url)
{
    const char* slash = strrchr(url, '/');
    return slash ? slash + 1 : nullptr;
}

bool IsSafeFileName(const char* name)
{
    if (name == nullptr || name[0] == '\0') return false;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        if (*p < 0x20 || *p == 0x7F || strchr("\\:*?\"<>|/", *p) != nullptr) return false;
    }
    return true;
}
