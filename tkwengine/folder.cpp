#include "tkwengine/folder.h"

#include <cstring>

#include "app/text.h"

namespace {

bool IsDirectory(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates every prefix ending before a separator, then the whole path.
// Failures on the way (drive, share, existing parts) are judged by the end result.
void CreateChain(char* path)
{
    for (size_t i = 0; path[i] != '\0';) {
        if (IsLeadByte(static_cast<unsigned char>(path[i])) && path[i + 1] != '\0') {
            i += 2;
            continue;
        }
        if (path[i] == '\\' && i > 0) {
            path[i] = '\0';
            CreateDirectoryA(path, nullptr);
            path[i] = '\\';
        }
        ++i;
    }
    CreateDirectoryA(path, nullptr);
}

}  // namespace

bool PrepareFolder(const char* folder, char (&out)[MAX_PATH])
{
    if (!folder || folder[0] == '\0' || std::strlen(folder) >= MAX_PATH) return false;
    DWORD length = GetFullPathNameA(folder, MAX_PATH, out, nullptr);
    if (length == 0 || length >= MAX_PATH - 2) return false;
    // Keep "C:\" whole, drop any other trailing separator.
    if (length > 3 && out[length - 1] == '\\' && CharBoundaryPrefix(out, length - 1) == length - 1)
        out[length - 1] = '\0';
    CreateChain(out);
    return IsDirectory(out);
}

bool JoinPath(const char* folder, const char* name, char (&out)[MAX_PATH])
{
    size_t folderLength = std::strlen(folder);
    bool hasSeparator = folderLength > 0 && folder[folderLength - 1] == '\\' &&
                        CharBoundaryPrefix(folder, folderLength - 1) == folderLength - 1;
    return FormatText(out, MAX_PATH, hasSeparator ? "%s%s" : "%s\\%s", folder, name);
}
