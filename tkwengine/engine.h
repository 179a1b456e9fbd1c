// The engine object behind the exported table: one job at a time on a
// worker thread of its own, events reported through the program's callback.
// The thread lives only as long as its job: on the Wine bench, a blocked
// idle thread stalls socket connects made by the rest of the process.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "common/engine_contract.h"
#include "tkwengine/cancel_gate.h"
#include "tkwengine/chunk_pipe.h"
#include "tkwengine/outcome.h"
#include "tkwengine/target.h"

struct Job {
    Target target;
    char localPath[MAX_PATH] = {};
    char folder[MAX_PATH] = {};
    uint64_t expected = 0;
};

class Engine {
public:
    Engine(EngineCallback callback, const char* serverList);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    bool Launch();  // the transfer buffers, allocated once
    StartResult Start(const char* url, uint64_t expected);
    void Cancel();
    bool SetFolder(const char* folder);

    // Used by the worker.
    void Report(int32_t event, uint64_t value);
    // Finished, an error, or nothing for a cancelled job.
    void Ended(Outcome outcome, uint64_t done);
    CancelGate& Gate() { return gate_; }
    ChunkPipe& Pipe() { return pipe_; }

private:
    static DWORD WINAPI ThreadMain(void* self);
    void JoinWorker(DWORD timeoutMs);

    EngineCallback callback_;
    char serverList_[kTextSize] = {};
    char folder_[MAX_PATH] = {};
    Job job_;
    CancelGate gate_;
    ChunkPipe pipe_;
    HANDLE thread_ = nullptr;
    std::atomic<bool> busy_{false};
};

// Runs one job on the worker thread, reporting its events.
void RunTransfer(Engine& engine, const Job& job);
