// The files the engine writes, and the volume checks made before a transfer.
#pragma once
#include <cstdint>

#include "common/win_handles.h"

class TargetFile {
public:
    // Opens or creates; 0 or an engine error code (locked, cannot create, disk full).
    int32_t Open(const char* path);
    bool IsOpen() const { return handle_.Valid(); }
    uint64_t Size() const;
    // Cuts the file at size, so a restart rewrites what follows.
    bool TruncateAt(uint64_t size);
    // 0, kErrorDiskFull or kErrorWriteFailed.
    int32_t WriteAt(uint64_t offset, const void* data, DWORD size);
    bool Close() { return handle_.Close(); }

private:
    FileHandle handle_;
};

// The engine error for a file that cannot be opened, moved or created.
int32_t FileError(DWORD error);

// Size of the file at path (0 when there is none); an engine error when
// another program holds it.
int32_t InspectLocalFile(const char* path, uint64_t& size);

// Free space and the FAT32 size limit for what is still to come.
int32_t CheckVolume(const char* folder, uint64_t expected, uint64_t present);
