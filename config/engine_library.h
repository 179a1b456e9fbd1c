// The engine library start-up accepts: an optional SHA-256 pin fixed by the
// build, checked before the library is kept on disk or loaded.
#pragma once
#include <windows.h>

// Lower-case hex SHA-256 of the expected library; empty when any will do.
extern const char kEngineLibraryPin[];

constexpr size_t kSha256TextSize = 65;

// Hex SHA-256 of what is left to read in file; false when it cannot be read.
bool HashFileSha256(HANDLE file, char (&hex)[kSha256TextSize]);

// Opens path for reading with writers shut out, only when its content has
// the pinned hash (any content when pin is empty); INVALID_HANDLE_VALUE
// otherwise.
HANDLE OpenPinnedFile(const char* path, const char* pin);

// Loads the library at path only when it matches pin; the file is held open
// meanwhile so that it cannot be swapped between the check and the load.
HMODULE LoadPinnedLibrary(const char* path, const char* pin);
