// The engine object behind the exported table: one job at a time on a
// worker thread of its own, events reported through the program's callback.
// The thread lives only as long as its job: on the Wine bench, a blocked
// idle thread stalls socket connects made by the rest of the process.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "common/engine_contract.h"
#include "tkwengine/target.h"

struct Job {
    Target target;
    char localPath[MAX_PATH] = {};
    char folder[MAX_PATH] = {};
    uint64_t expected = 0;
};

// Serialises cancellation against event reports and the request handle, so
// a cancel can abort a blocking call and no event follows it.
class CancelGate {
public:
    CancelGate() { InitializeCriticalSection(&lock_); }
    ~CancelGate();
    CancelGate(const CancelGate&) = delete;
    CancelGate& operator=(const CancelGate&) = delete;

    void Rearm();  // joins the closer of the previous cancel
    void Cancel();
    bool Cancelled() const { return cancelled_.load(); }
    bool Attach(HINTERNET request);  // false (and request closed) when cancelled
    void CloseAttached();
    void Report(EngineCallback callback, void* context, int32_t event, uint64_t value);

private:
    static DWORD WINAPI CloseRequest(void* request);
    void JoinCloser();

    CRITICAL_SECTION lock_;
    std::atomic<bool> cancelled_{false};
    HINTERNET request_ = nullptr;
    HANDLE closer_ = nullptr;  // closes an aborted request without blocking the canceller
};

class Engine {
public:
    static constexpr DWORD kBufferSize = 1 << 20;

    Engine(EngineCallback callback, const char* serverList);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    bool Launch();  // the transfer buffer, allocated once
    int32_t Start(const char* url, uint64_t expected);
    void Cancel();
    int32_t SetFolder(const char* folder);

    // Used by the worker.
    void Report(int32_t event, uint64_t value);
    CancelGate& Gate() { return gate_; }
    char* Buffer() { return buffer_.get(); }

private:
    static DWORD WINAPI ThreadMain(void* self);
    void JoinWorker(DWORD timeoutMs);

    EngineCallback callback_;
    char serverList_[kTextSize] = {};
    char folder_[MAX_PATH] = {};
    Job job_;
    CancelGate gate_;
    std::unique_ptr<char[]> buffer_;
    HANDLE thread_ = nullptr;
    std::atomic<bool> busy_{false};
};

// Runs one job on the worker thread, reporting its events.
void RunTransfer(Engine& engine, const Job& job);
