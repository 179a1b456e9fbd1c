// The SHA-256 of a file's first bytes, taken as they become final: read back
// through a handle of its own a slice at a time, so that a thread can follow
// the writer and little is left to hash once the last byte lands.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "common/sha256.h"
#include "common/win_handles.h"

class PrefixHash {
public:
    // Starts afresh over the file at path; false when it cannot be read.
    bool Begin(const char* path);
    // Lets go of the file and of what was hashed.
    void Reset();
    bool Begun() const { return file_.Valid(); }
    uint64_t Hashed() const { return hashed_; }
    // Hashes the next slice of what lies before end; false when it cannot be read.
    bool Advance(uint64_t end);
    // Whether the bytes hashed have this hash (64 lower-case hex digits); ends the hash.
    bool Matches(const char* expected);

private:
    static constexpr DWORD kSlice = 256 << 10;

    std::unique_ptr<char[]> buffer_;
    std::optional<Sha256> sha_;
    FileHandle file_;
    uint64_t hashed_ = 0;
};
