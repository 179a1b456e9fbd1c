#include "common/file_system.h"

#include <windows.h>

#include <cstring>

#include "common/text.h"
#include "common/win_handles.h"

namespace {

// Offset of the last backslash that is not the trail byte of a character.
bool LastSeparator(const char* path, size_t& found)
{
    bool any = false;
    for (size_t i = 0; path[i] != '\0'; ++i) {
        if (IsLeadByte(static_cast<unsigned char>(path[i])) && path[i + 1] != '\0') {
            ++i;
            continue;
        }
        if (path[i] == '\\') {
            found = i;
            any = true;
        }
    }
    return any;
}

}  // namespace

bool IsDirectory(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolderChain(const char* folder)
{
    char path[kTextSize];
    if (!CopyTextWhole(path, folder) || path[0] == '\0') return false;
    for (size_t i = 0; path[i] != '\0'; ++i) {
        if (IsLeadByte(static_cast<unsigned char>(path[i])) && path[i + 1] != '\0') {
            ++i;
            continue;
        }
        if (path[i] == '\\' && i > 0) {
            path[i] = '\0';
            CreateDirectoryA(path, nullptr);
            path[i] = '\\';
        }
    }
    CreateDirectoryA(path, nullptr);
    return IsDirectory(path);
}

bool CreateParentFolders(const char* filePath)
{
    char folder[kTextSize];
    size_t separator = 0;
    if (!LastSeparator(filePath, separator) || separator >= sizeof folder) return false;
    std::memcpy(folder, filePath, separator);
    folder[separator] = '\0';
    return CreateFolderChain(folder);
}

int64_t LocalFileSize(const char* path)
{
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size)) return 0;
    return size.QuadPart;
}

bool ReplaceFileWhole(const char* path, const void* bytes, size_t size)
{
    char temp[kTextSize];
    if (!FormatText(temp, sizeof temp, "%s.new", path) || !CreateParentFolders(path)) return false;
    FileHandle file(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    const bool whole = file.Valid() && WriteFile(file.Get(), bytes, static_cast<DWORD>(size), &written, nullptr) &&
                       written == size;
    if (!file.Close() || !whole || !MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp);
        return false;
    }
    return true;
}
