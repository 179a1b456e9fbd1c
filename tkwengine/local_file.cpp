#include "tkwengine/local_file.h"

#include <cstring>

#include "common/engine_contract.h"

namespace {

constexpr uint64_t kFat32Limit = 0x100000000ull;

bool IsDiskFull(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

int32_t OpenError(DWORD error)
{
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return kErrorFileLocked;
    if (IsDiskFull(error)) return kErrorDiskFull;
    return kErrorCreateFailed;
}

bool IsFatVolume(const char* folder)
{
    char root[MAX_PATH] = {}, fileSystem[32] = {};
    if (!GetVolumePathNameA(folder, root, MAX_PATH)) return false;
    if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, fileSystem, sizeof fileSystem))
        return false;
    return _strnicmp(fileSystem, "FAT", 3) == 0;
}

}  // namespace

int32_t TargetFile::Open(const char* path)
{
    // Others may read the partial file, nobody may write it meanwhile.
    handle_.Reset(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle_.Valid() ? 0 : OpenError(GetLastError());
}

uint64_t TargetFile::Size() const
{
    LARGE_INTEGER size = {};
    return GetFileSizeEx(handle_.Get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

bool TargetFile::TruncateAt(uint64_t offset)
{
    LARGE_INTEGER position = {};
    position.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(handle_.Get(), position, nullptr, FILE_BEGIN) && SetEndOfFile(handle_.Get());
}

int32_t TargetFile::Write(const void* data, DWORD size)
{
    DWORD written = 0;
    if (!WriteFile(handle_.Get(), data, size, &written, nullptr))
        return IsDiskFull(GetLastError()) ? kErrorDiskFull : kErrorWriteFailed;
    return written == size ? 0 : kErrorDiskFull;
}

int32_t CheckVolume(const char* folder, uint64_t expected, uint64_t present)
{
    if (expected >= kFat32Limit && IsFatVolume(folder)) return kErrorFat32Limit;
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr)) return 0;  // unknown: writing will tell
    uint64_t needed = expected > present ? expected - present : 0;
    return available.QuadPart < needed ? kErrorDiskFull : 0;
}
