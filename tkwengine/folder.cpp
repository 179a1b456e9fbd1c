#include "tkwengine/folder.h"

#include <cstring>

#include "common/file_system.h"
#include "common/text.h"

bool PrepareFolder(const char* folder, char (&out)[MAX_PATH])
{
    if (!folder || folder[0] == '\0' || std::strlen(folder) >= MAX_PATH) return false;
    DWORD length = GetFullPathNameA(folder, MAX_PATH, out, nullptr);
    if (length == 0 || length >= MAX_PATH - 2) return false;
    // Keep "C:\" whole, drop any other trailing separator.
    if (length > 3 && out[length - 1] == '\\' && CharBoundaryPrefix(out, length - 1) == length - 1)
        out[length - 1] = '\0';
    return CreateFolderChain(out);
}

bool JoinPath(const char* folder, const char* name, char (&out)[MAX_PATH])
{
    size_t folderLength = std::strlen(folder);
    bool hasSeparator = folderLength > 0 && folder[folderLength - 1] == '\\' &&
                        CharBoundaryPrefix(folder, folderLength - 1) == folderLength - 1;
    return FormatText(out, MAX_PATH, hasSeparator ? "%s%s" : "%s\\%s", folder, name);
}
