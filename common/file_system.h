// Folders and file sizes on the local disk.
#pragma once
#include <cstddef>
#include <cstdint>

bool IsDirectory(const char* path);

// Creates folder and every missing parent; true when folder is a directory
// at the end. Failures on the way (drive, share, existing parts) are judged
// by that end result.
bool CreateFolderChain(const char* folder);

// Creates every folder of a file's path up to its last backslash.
bool CreateParentFolders(const char* filePath);

// Writes size bytes beside path, then moves them over it in one step, the
// folders on the way made first: path holds the old bytes or the new ones,
// never a part.
bool ReplaceFileWhole(const char* path, const void* bytes, size_t size);

// Size of the file at path; 0 when it cannot be opened.
int64_t LocalFileSize(const char* path);
