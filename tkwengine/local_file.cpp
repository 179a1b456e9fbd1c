#include "tkwengine/local_file.h"

#include <cstring>

namespace {

constexpr uint64_t kFat32Limit = 0x100000000ull;
constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE;
// Another program that writes the file is found out.
constexpr DWORD kShare = FILE_SHARE_READ;
// A part file is read back for its hash, and flushed, through handles of the engine's own.
constexpr DWORD kPartShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool IsDiskFull(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

bool IsFatVolume(const char* folder)
{
    char root[MAX_PATH] = {}, fileSystem[32] = {};
    if (!GetVolumePathNameA(folder, root, MAX_PATH)) return false;
    if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, fileSystem, sizeof fileSystem))
        return false;
    return _strnicmp(fileSystem, "FAT", 3) == 0;
}

uint64_t SizeOf(HANDLE file)
{
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

}  // namespace

Outcome FileError(DWORD error)
{
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return Outcome::FileLocked;
    if (IsDiskFull(error)) return Outcome::DiskFull;
    return Outcome::CreateFailed;
}

Outcome PartFile::Open(const char* path)
{
    handle_.Reset(CreateFileA(path, kAccess, kPartShare, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle_.Valid() ? Outcome::Ok : FileError(GetLastError());
}

bool PartFile::TruncateAt(uint64_t size)
{
    LARGE_INTEGER position = {};
    position.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(handle_.Get(), position, nullptr, FILE_BEGIN) && SetEndOfFile(handle_.Get());
}

Outcome PartFile::WriteAt(uint64_t offset, const void* data, DWORD size)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    if (!WriteFile(handle_.Get(), data, size, &written, &at))
        return IsDiskFull(GetLastError()) ? Outcome::DiskFull : Outcome::WriteFailed;
    return written == size ? Outcome::Ok : Outcome::DiskFull;
}

Outcome InspectLocalFile(const char* path, uint64_t& size)
{
    size = 0;
    FileHandle file(CreateFileA(path, kAccess, kShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid()) size = SizeOf(file.Get());
    DWORD error = file.Valid() ? ERROR_SUCCESS : GetLastError();
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ? Outcome::Ok : FileError(error);
}

Outcome CheckVolume(const char* folder, uint64_t expected, uint64_t present)
{
    if (expected >= kFat32Limit && IsFatVolume(folder)) return Outcome::Fat32Limit;
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr)) return Outcome::Ok;  // unknown: writing will tell
    uint64_t needed = expected > present ? expected - present : 0;
    return available.QuadPart < needed ? Outcome::DiskFull : Outcome::Ok;
}
