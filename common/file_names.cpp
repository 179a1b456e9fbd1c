#include "common/file_names.h"

#include <windows.h>

#include <cstring>

#include "common/text.h"

namespace {

// Longer names leave too little of MAX_PATH for the folder.
constexpr size_t kMaxNameLength = 200;

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

bool EndsWith(const char* name, size_t length, const char* suffix)
{
    size_t suffixLength = std::strlen(suffix);
    return length >= suffixLength && _stricmp(name + length - suffixLength, suffix) == 0;
}

}  // namespace

bool IsSafeFileName(const char* name)
{
    size_t length = name ? std::strlen(name) : 0;
    if (length == 0 || length >= kMaxNameLength) return false;
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
    return !IsDeviceName(name) && !EndsWith(name, length, kPartFileSuffix) && !EndsWith(name, length, kStateFileSuffix);
}

bool IsSafeSubFolder(const char* path)
{
    if (path == nullptr) return false;
    char part[kMaxNameLength];
    size_t length = 0;
    for (size_t i = 0;; ++i) {
        const char c = path[i];
        // A trail byte that looks like a backslash is part of its character.
        const bool separator = c == '\\' && CharBoundaryPrefix(path, i) == i;
        if (c != '\0' && !separator) {
            if (length + 1 >= sizeof part) return false;
            part[length++] = c;
            continue;
        }
        part[length] = '\0';
        if (!IsSafeFileName(part)) return false;
        if (c == '\0') return true;
        length = 0;
    }
}

std::wstring PathKey(const char* path)
{
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 0, L'\0');
    if (length <= 0 || MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide.data(), length) != length) {
        // Not text of the code page: its bytes as they are, apart from any text's key.
        std::wstring bytes(1, L'\xFFFF');
        for (const char* at = path; *at; ++at) bytes += static_cast<wchar_t>(static_cast<unsigned char>(*at));
        return bytes;
    }
    wide.pop_back();  // the terminator
    if (!wide.empty())
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), static_cast<int>(wide.size()), wide.data(),
                      static_cast<int>(wide.size()), nullptr, nullptr, 0);
    return wide;
}
