// Folders and file sizes on the local disk.
#pragma once
#include <cstdint>

bool IsDirectory(const char* path);

// Creates folder and every missing parent; true when folder is a directory
// at the end. Failures on the way (drive, share, existing parts) are judged
// by that end result.
bool CreateFolderChain(const char* folder);

// Creates every folder of a file's path up to its last backslash.
bool CreateParentFolders(const char* filePath);

// Size of the file at path; 0 when it cannot be opened.
int64_t LocalFileSize(const char* path);
