#include "publish/console.h"

#include <windows.h>

#include "common/file_system.h"
#include "common/win_handles.h"

namespace {

bool WriteAll(HANDLE handle, const std::string& bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

// Writes bytes into file and closes it; false when either fails.
bool WriteAndClose(FileHandle& file, const std::string& bytes)
{
    const bool all = file.Valid() && WriteAll(file.Get(), bytes);
    return file.Close() && all;
}

}  // namespace

bool WriteOut(const std::string& bytes) { return WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes); }

void Say(const std::string& line) { WriteAll(GetStdHandle(STD_ERROR_HANDLE), line + "\n"); }

bool ReadLocalFile(const std::string& path, std::string& bytes)
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes.empty() ||
           (ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size());
}

bool WriteLocalFile(const std::string& path, const std::string& bytes)
{
    return ReplaceFileWhole(path.c_str(), bytes.data(), bytes.size());
}

bool WriteNewLocalFile(const std::string& path, const std::string& bytes)
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    if (WriteAndClose(file, bytes)) return true;
    DeleteFileA(path.c_str());
    return false;
}
