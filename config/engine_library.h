// The engine library start-up accepts. It is fetched from the download
// server into the documents folder, the download cache, and checked there
// against an optional SHA-256 pin fixed by the build
// (AppState.engineLibraryPin). What runs is a copy of the checked bytes in
// a folder only administrators can write, held open against writers while
// it is checked again and loaded: a program of the user's that changes the
// cache between the check and the load changes nothing that is loaded.
#pragma once
#include <windows.h>

#include <vector>

#include "common/sha256.h"
#include "common/win_handles.h"
#include "config/server_urls.h"

// Opens path for reading with writers shut out, only when its content has
// the pinned hash (any content when pin is empty).
bool OpenPinnedFile(const char* path, const char* pin, FileHandle& file);

// A library's bytes as they were read, once, and their hash.
struct CheckedLibrary {
    std::vector<char> bytes;
    char hash[kSha256TextSize] = {};
};

// Reads the library at path whole; false when it cannot be read, is larger
// than any library we fetch, or differs from pin (when there is one).
bool ReadCheckedLibrary(const char* path, const char* pin, CheckedLibrary& library);

// Puts the checked bytes at installedPath (unless it holds them already) and
// loads them from there, its dependencies from the system folder only.
HMODULE LoadCheckedLibrary(const CheckedLibrary& library, const char* installedPath);

// Where the checked copy runs from: "Glenmoor\engine" under Program Files.
bool InstalledLibraryPath(char (&path)[MAX_PATH]);

// Both steps: the library at path, checked against pin, loaded from its
// installed copy.
HMODULE LoadPinnedLibrary(const char* path, const char* pin);

HRESULT DownloadEngineLibrary(const char* path, const char* url = kEngineLibraryUrl);

// Sets AppState.engineLibraryPath and fetches the library from url when it
// is not on disk or, with AppState.engineLibraryPin set, does not match the
// pin. Always 0: loading the library tells whether it is there.
int EnsureEngineLibrary(const char* url = kEngineLibraryUrl);
