// What a download keeps beside its file between runs: the bytes at their
// own offsets in "<name>.vxpart", and in "<name>.vxstate" the ranges still
// missing, with the version the bytes are of and the server that sent it,
// and the file's hash where the job had one.
// Only a whole file takes the name itself, so the name always holds a
// whole file or none.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "common/sha256.h"
#include "common/url.h"
#include "common/win_handles.h"
#include "tkwengine/byte_range.h"
#include "tkwengine/validator.h"

struct SideFiles {
    char part[MAX_PATH] = {};
    char state[MAX_PATH] = {};
};

// False when the names do not fit into a path.
bool NameSideFiles(const char* localPath, SideFiles& out);
void RemoveSideFiles(const SideFiles& files);

struct ResumeState {
    // An older copy leaves many holes: the closest are merged below this.
    static constexpr size_t kMaxMissing = 1024;
    uint64_t size = 0;
    size_t count = 0;
    ByteRange missing[kMaxMissing];
    Validator version;    // of the bytes kept
    HttpEndpoint server;  // where the version came from
    char sha256[kSha256TextSize] = {};  // of the file the bytes are of; empty: not known
    bool compared = false;  // an older copy under the name was compared to its end: what is missing is not there

    uint64_t MissingBytes() const;
    // Where the last kept byte ends; the ranges sorted.
    uint64_t KeptEnd() const;
};

// The state an earlier round left for a file of this size, with a part file
// that holds every byte it claims; false for none, a damaged one or another
// file's.
bool LoadState(const SideFiles& files, uint64_t size, ResumeState& out);

class StateFile {
public:
    // Opens without cutting: the record there stays valid until rewritten.
    bool Open(const char* path);
    // Rewrites the whole record in place, with one write.
    bool Save(const ResumeState& state);
    void Close() { handle_.Close(); }

private:
    FileHandle handle_;
};
