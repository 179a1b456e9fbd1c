// The file being written, and the volume checks made before a transfer.
#pragma once
#include <cstdint>

#include "common/win_handles.h"

class TargetFile {
public:
    // 0 or an engine error code (locked, cannot create, disk full).
    int32_t Open(const char* path);
    uint64_t Size() const;
    // Moves to offset and cuts the file there, so a restart rewrites it.
    bool TruncateAt(uint64_t offset);
    // 0, kErrorDiskFull or kErrorWriteFailed.
    int32_t Write(const void* data, DWORD size);
    bool Close() { return handle_.Close(); }

private:
    FileHandle handle_;
};

// Free space and the FAT32 size limit for what is still to come.
int32_t CheckVolume(const char* folder, uint64_t expected, uint64_t present);
