#include "tkwengine/prefix_hash.h"

#include <algorithm>
#include <cstring>
#include <new>

bool PrefixHash::Begin(const char* path)
{
    Reset();
    if (!buffer_) buffer_.reset(new (std::nothrow) char[kSlice]);
    // Shared for writing: the writer has the file open, and goes on.
    file_.Reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    sha_.emplace();
    return buffer_ && file_.Valid();
}

void PrefixHash::Reset()
{
    file_.Reset();
    sha_.reset();
    hashed_ = 0;
}

bool PrefixHash::Advance(uint64_t end)
{
    if (!Begun() || !buffer_) return false;
    DWORD want = static_cast<DWORD>(std::min<uint64_t>(kSlice, end > hashed_ ? end - hashed_ : 0));
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(hashed_);
    at.OffsetHigh = static_cast<DWORD>(hashed_ >> 32);
    DWORD got = 0;
    if (want && !ReadFile(file_.Get(), buffer_.get(), want, &got, &at)) return false;
    if (got != want || !sha_->Add(buffer_.get(), got)) return false;
    hashed_ += got;
    return true;
}

bool PrefixHash::Matches(const char* expected)
{
    char hex[kSha256TextSize] = {};
    bool matches = sha_ && sha_->Finish(hex) && std::strcmp(hex, expected) == 0;
    Reset();
    return matches;
}
