#include "tkwengine/safe_name.h"

#include <cstring>

#include "app/text.h"

namespace {

bool IsForbiddenByte(unsigned char c) { return c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|", c) != nullptr; }

// Windows opens a device instead of a file for these, whatever the extension.
bool IsDeviceName(const char* name)
{
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t stem = std::strcspn(name, ".");
    for (const char* d : kDevices)
        if (stem == std::strlen(d) && _strnicmp(name, d, stem) == 0) return true;
    bool numbered = stem == 4 && (_strnicmp(name, "COM", 3) == 0 || _strnicmp(name, "LPT", 3) == 0);
    return numbered && name[3] >= '0' && name[3] <= '9';
}

}  // namespace

bool IsSafeFileName(const char* name)
{
    size_t length = name ? std::strlen(name) : 0;
    if (length == 0 || length >= 200) return false;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
    for (size_t i = 0; i < length;) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (IsLeadByte(c)) {
            // A trail byte may look like '\\' or '|'; only a missing one is wrong.
            if (name[i + 1] == '\0') return false;
            i += 2;
            continue;
        }
        if (IsForbiddenByte(c)) return false;
        ++i;
    }
    // Windows drops trailing dots and blanks, so the file would get another name.
    char last = name[length - 1];
    if (last == '.' || last == ' ') return false;
    return !IsDeviceName(name);
}

bool FileNameFromUrl(const char* url, char* out, size_t capacity)
{
    if (!url) return false;
    const char* scheme = std::strstr(url, "://");
    if (!scheme) return false;
    const char* pathStart = std::strchr(scheme + 3, '/');
    const char* lastSlash = std::strrchr(url, '/');
    if (!pathStart || lastSlash < pathStart) return false;
    const char* name = lastSlash + 1;
    if (!IsSafeFileName(name)) return false;
    return CopyTextWhole(out, capacity, name);
}
