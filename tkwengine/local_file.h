// The part files the engine writes, the file already under a name, and the
// volume checks made before a transfer.
#pragma once
#include <cstdint>

#include "common/win_handles.h"
#include "tkwengine/outcome.h"

class PartFile {
public:
    // Opens or creates, the engine's other handles on it allowed; FileLocked,
    // CreateFailed or DiskFull when it cannot.
    Outcome Open(const char* path);
    // Cuts the file at size, so a restart rewrites what follows.
    bool TruncateAt(uint64_t size);
    // Ok, DiskFull or WriteFailed.
    Outcome WriteAt(uint64_t offset, const void* data, DWORD size);
    // Down to the disk, not only into the system's cache.
    bool Flush() { return FlushFileBuffers(handle_.Get()) != FALSE; }
    bool Close() { return handle_.Close(); }

private:
    FileHandle handle_;
};

// Why a file cannot be opened, moved or created.
Outcome FileError(DWORD error);

// Size of the file at path (0 when there is none); a failure when another
// program holds it.
Outcome InspectLocalFile(const char* path, uint64_t& size);

// Free space and the FAT32 size limit for what is still to come.
Outcome CheckVolume(const char* folder, uint64_t expected, uint64_t present);
