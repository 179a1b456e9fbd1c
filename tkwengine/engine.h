// The engine object behind the exported table: one job at a time on the
// worker's thread, its events through the program's callback.
#pragma once
#include <windows.h>

#include <cstdint>

#include "common/engine_contract.h"
#include "common/text.h"
#include "common/win_handles.h"
#include "tkwengine/ahead.h"
#include "tkwengine/cancel_signal.h"
#include "tkwengine/chunk_pipe.h"
#include "tkwengine/handle_closer.h"
#include "tkwengine/reporter.h"
#include "tkwengine/request_registry.h"
#include "tkwengine/worker.h"

class Engine {
public:
    Engine(EngineCallback callback, const char* serverList);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    bool Launch();  // the internet session and the transfer buffers, made once
    // sha256 nullptr: no hash to check.
    StartResult Start(const char* url, uint64_t expected, const char* sha256);
    // The files that follow the one just started, fetched ahead where they can be.
    void Announce(const FollowingFile* files, uint32_t count);
    void Cancel();
    // Cancels and waits up to waitMs for every thread of the engine's own;
    // false when one is still running, and the engine may not go yet.
    bool Stop(DWORD waitMs);
    bool SetFolder(const char* folder);
    // True inside the callback, where the job's thread cannot wait for its own end.
    bool OnJobThread() const { return worker_.IsCurrent(); }

private:
    StartResult MakeJob(const char* url, uint64_t expected, const char* sha256, Job& job) const;

    char serverList_[kTextSize] = {};
    // One for the engine's life: the next file's request goes out on a
    // connection the last one left open.
    InetHandle session_;
    char folder_[MAX_PATH] = {};
    uint64_t currentExpected_ = 0;
    CancelSignal cancel_;
    RequestRegistry requests_;
    Reporter reporter_;
    ChunkPipe pipe_;
    HandleCloser closer_;
    Ahead ahead_;
    Worker worker_;  // last: its thread ends before the pieces it works with go
};
