// A download job as Start accepted it, and the engine's pieces its threads
// work with.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstdint>

#include "common/sha256.h"
#include "tkwengine/resume_state.h"
#include "tkwengine/target.h"

class CancelSignal;
class ChunkPipe;
class Reporter;
class RequestRegistry;

struct Job {
    Target target;
    char localPath[MAX_PATH] = {};
    SideFiles side;  // where the bytes wait until the file is whole
    char folder[MAX_PATH] = {};
    uint64_t expected = 0;
    char sha256[kSha256TextSize] = {};  // lower-case hex; empty: no hash to check
    Target blocks;  // where the file's block index is (and the mirrors); no endpoint: none
};

// What a job's threads share with the engine: the internet session, the
// program's cancel, the open requests, the events and the received chunks.
struct JobLinks {
    HINTERNET session;
    const CancelSignal& cancel;
    RequestRegistry& requests;
    Reporter& reporter;
    ChunkPipe& pipe;
};
