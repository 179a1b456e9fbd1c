// The engine object behind the exported table: one job at a time on the
// worker's thread, its events through the program's callback.
#pragma once
#include <windows.h>

#include <cstdint>

#include "common/engine_contract.h"
#include "common/text.h"
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

    bool Launch();  // the transfer buffers, allocated once
    // sha256 nullptr: no hash to check.
    StartResult Start(const char* url, uint64_t expected, const char* sha256);
    void Cancel();
    bool SetFolder(const char* folder);
    // True inside the callback, where the job's thread cannot wait for its own end.
    bool OnJobThread() const { return worker_.IsCurrent(); }

private:
    char serverList_[kTextSize] = {};
    char folder_[MAX_PATH] = {};
    CancelSignal cancel_;
    RequestRegistry requests_;
    Reporter reporter_;
    ChunkPipe pipe_;
    HandleCloser closer_;
    Worker worker_;  // last: its thread ends before the pieces it works with go
};
