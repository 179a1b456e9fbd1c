// What a download over several connections keeps beside its file between
// runs: the bytes at their own offsets in "<name>.vxpart", the ranges still
// missing in "<name>.vxstate". Only a finished file takes the name itself,
// so the name always holds a complete file or a correct prefix.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "common/win_handles.h"
#include "tkwengine/byte_range.h"

struct SideFiles {
    char part[MAX_PATH] = {};
    char state[MAX_PATH] = {};
};

// False when the names do not fit into a path.
bool NameSideFiles(const char* localPath, SideFiles& out);
void RemoveSideFiles(const SideFiles& files);

struct ResumeState {
    static constexpr size_t kMaxMissing = 8;
    uint64_t size = 0;
    size_t count = 0;
    ByteRange missing[kMaxMissing];

    uint64_t MissingBytes() const;
};

// The state an earlier run left for a file of this size, its bytes file
// beside it; false for none, a damaged one or another file's.
bool LoadState(const SideFiles& files, uint64_t size, ResumeState& out);

class StateFile {
public:
    bool Open(const char* path);
    // Rewrites the whole record in place, with one write.
    bool Save(const ResumeState& state);
    void Close() { handle_.Close(); }

private:
    FileHandle handle_;
};
