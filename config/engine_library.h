// The engine library start-up accepts: fetched from the download server
// into the documents folder, with an optional SHA-256 pin fixed by the build
// (AppState.engineLibraryPin), checked before the library is kept on disk or
// loaded.
#pragma once
#include <windows.h>

#include "common/win_handles.h"
#include "config/server_urls.h"

constexpr size_t kSha256TextSize = 65;

// Hex SHA-256 of what is left to read in file; false when it cannot be read.
bool HashFileSha256(HANDLE file, char (&hex)[kSha256TextSize]);

// Opens path for reading with writers shut out, only when its content has
// the pinned hash (any content when pin is empty).
bool OpenPinnedFile(const char* path, const char* pin, FileHandle& file);

// Loads the library at path only when it matches pin; the file is held open
// meanwhile so that it cannot be swapped between the check and the load.
HMODULE LoadPinnedLibrary(const char* path, const char* pin);

HRESULT DownloadEngineLibrary(const char* path, const char* url = kEngineLibraryUrl);

// Sets AppState.engineLibraryPath and fetches the library from url when it
// is not on disk or, with AppState.engineLibraryPin set, does not match the
// pin. Always 0: loading the library tells whether it is there.
int EnsureEngineLibrary(const char* url = kEngineLibraryUrl);
