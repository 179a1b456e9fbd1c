#include "config/engine_library.h"

#include <shlobj.h>

#include "common/file_system.h"
#include "common/text.h"
#include "config/http_fetch.h"
#include "state/app_state.h"

namespace {

bool IsPinned(const char* pin) { return pin != nullptr && pin[0] != '\0'; }

// Opens path for reading, writers and deleters shut out, only when it holds
// bytes of the given hash; the handle is kept open in file.
bool HoldWithHash(const char* path, const char* hash, FileHandle& file)
{
    file.Reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
    char found[kSha256TextSize];
    if (file.Valid() && HashFileSha256(file.Get(), found) && lstrcmpiA(found, hash) == 0) return true;
    file.Reset();
    return false;
}

}  // namespace

bool OpenPinnedFile(const char* path, const char* pin, FileHandle& file)
{
    file.Reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
    if (!file.Valid() || !IsPinned(pin)) return file.Valid();
    char hex[kSha256TextSize];
    if (HashFileSha256(file.Get(), hex) && lstrcmpiA(hex, pin) == 0) return true;
    file.Reset();
    return false;
}

bool ReadCheckedLibrary(const char* path, const char* pin, CheckedLibrary& library)
{
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    LARGE_INTEGER size = {};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > kLargestFetchedFile) return false;
    library.bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(file.Get(), library.bytes.data(), static_cast<DWORD>(library.bytes.size()), &read, nullptr) ||
        read != library.bytes.size())
        return false;
    Sha256 sha;
    if (!sha.Add(library.bytes.data(), read) || !sha.Finish(library.hash)) return false;
    return !IsPinned(pin) || lstrcmpiA(library.hash, pin) == 0;
}

HMODULE LoadCheckedLibrary(const CheckedLibrary& library, const char* installedPath)
{
    // Held until the load is done: what is hashed here is what is mapped.
    FileHandle held;
    if (!HoldWithHash(installedPath, library.hash, held) &&
        !(ReplaceFileWhole(installedPath, library.bytes.data(), library.bytes.size()) &&
          HoldWithHash(installedPath, library.hash, held)))
        return nullptr;
    return LoadLibraryExA(installedPath, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

bool InstalledLibraryPath(char (&path)[MAX_PATH])
{
    char programFiles[MAX_PATH] = {};
    return SHGetSpecialFolderPathA(nullptr, programFiles, CSIDL_PROGRAM_FILES, FALSE) &&
           FormatText(path, sizeof path, "%s\\Glenmoor\\engine\\tkwengine.dll", programFiles);
}

HMODULE LoadPinnedLibrary(const char* path, const char* pin)
{
    CheckedLibrary library;
    char installed[MAX_PATH];
    if (!ReadCheckedLibrary(path, pin, library) || !InstalledLibraryPath(installed)) return nullptr;
    return LoadCheckedLibrary(library, installed);
}

HRESULT DownloadEngineLibrary(const char* path, const char* url)
{
    return DownloadToFile(url, path, "Glenmoor EngineDown", BodyCheck::ProgramImage);
}

int EnsureEngineLibrary(const char* url)
{
    char documents[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE)) return 0;
    char path[kTextSize];
    if (!FormatText(path, sizeof(path), "%s\\Glenmoor\\download\\tkwengine.dll", documents)) return 0;
    CopyText(AppState.engineLibraryPath, path);
    FileHandle existing;
    if (!OpenPinnedFile(path, AppState.engineLibraryPin, existing)) DownloadEngineLibrary(path, url);
    return 0;
}
