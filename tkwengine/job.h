// A download job as Start accepted it, and the engine's pieces its threads
// work with.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstdint>

#include "common/sha256.h"
#include "tkwengine/request_registry.h"
#include "tkwengine/resume_state.h"
#include "tkwengine/target.h"

class Ahead;
class CancelSignal;
class ChunkPipe;
class Reporter;
class RequestRegistry;

// The connections a file is fetched over at most.
constexpr size_t kMostConnections = RequestRegistry::kSlots;

// What was done for a job's file while the file before it ran.
enum class FetchedAhead { Nothing, Running, Whole };

struct Job {
    Target target;
    char localPath[MAX_PATH] = {};
    SideFiles side;  // where the bytes wait until the file is whole
    char folder[MAX_PATH] = {};
    uint64_t expected = 0;
    char sha256[kSha256TextSize] = {};  // lower-case hex; empty: no hash to check
    size_t maxConnections = kMostConnections;
    bool keepAside = false;  // fetched ahead: it stays in its side files, its record saying it is whole
    FetchedAhead ahead = FetchedAhead::Nothing;
    uint64_t presentBeforeAhead = 0;  // bytes there when the fetch ahead began
    bool startReported = false;       // the program has heard Started for it already
    bool trustRecord = false;         // the record was written whole by this engine, moments ago
};

// What a job's threads share with the engine: the internet session, the
// program's cancel, the open requests, the events, the received chunks and
// the files fetched ahead (none for a job that is itself fetched ahead).
struct JobLinks {
    HINTERNET session;
    const CancelSignal& cancel;
    RequestRegistry& requests;
    Reporter& reporter;
    ChunkPipe& pipe;
    Ahead* ahead = nullptr;
};
