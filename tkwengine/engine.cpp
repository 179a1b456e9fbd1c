#include "tkwengine/engine.h"

#include <cstring>
#include <new>

#include "common/file_names.h"
#include "common/url.h"
#include "tkwengine/folder.h"

namespace {

// How long a cancel waits for the worker to let go of the file.
constexpr DWORD kCancelWaitMs = 200;
// How long a start waits for a cancelled job to let go.
constexpr DWORD kRestartWaitMs = 1000;

}  // namespace

CancelGate::~CancelGate()
{
    JoinCloser();
    DeleteCriticalSection(&lock_);
}

DWORD WINAPI CancelGate::CloseRequest(void* request)
{
    InternetCloseHandle(static_cast<HINTERNET>(request));
    return 0;
}

void CancelGate::JoinCloser()
{
    if (!closer_) return;
    WaitForSingleObject(closer_, INFINITE);
    CloseHandle(closer_);
    closer_ = nullptr;
}

void CancelGate::Rearm()
{
    JoinCloser();
    EnterCriticalSection(&lock_);
    cancelled_ = false;
    LeaveCriticalSection(&lock_);
}

void CancelGate::Cancel()
{
    EnterCriticalSection(&lock_);
    cancelled_ = true;
    // Closing the handle makes a blocking call on the worker return; the
    // close itself can take seconds under Wine, so it runs on its own thread.
    if (request_ && !closer_) closer_ = CreateThread(nullptr, 0, &CancelGate::CloseRequest, request_, 0, nullptr);
    if (request_ && !closer_) InternetCloseHandle(request_);
    request_ = nullptr;
    LeaveCriticalSection(&lock_);
}

bool CancelGate::Attach(HINTERNET request)
{
    EnterCriticalSection(&lock_);
    bool live = !cancelled_;
    if (live) request_ = request;
    LeaveCriticalSection(&lock_);
    if (!live) InternetCloseHandle(request);
    return live;
}

void CancelGate::CloseAttached()
{
    EnterCriticalSection(&lock_);
    if (request_) InternetCloseHandle(request_);
    request_ = nullptr;
    LeaveCriticalSection(&lock_);
}

void CancelGate::Report(EngineCallback callback, void* context, int32_t event, uint64_t value)
{
    EnterCriticalSection(&lock_);
    if (!cancelled_)
        callback(context, event, static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32));
    LeaveCriticalSection(&lock_);
}

Engine::Engine(EngineCallback callback, const char* serverList) : callback_(callback)
{
    if (serverList) CopyText(serverList_, serverList);
}

Engine::~Engine()
{
    gate_.Cancel();
    JoinWorker(INFINITE);
    gate_.Rearm();  // joins the closer
}

bool Engine::Launch()
{
    buffer_.reset(new (std::nothrow) char[kBufferSize]);
    return buffer_ != nullptr;
}

void Engine::JoinWorker(DWORD timeoutMs)
{
    if (!thread_ || WaitForSingleObject(thread_, timeoutMs) != WAIT_OBJECT_0) return;
    CloseHandle(thread_);
    thread_ = nullptr;
}

int32_t Engine::Start(const char* url, uint64_t expected)
{
    Job job;
    // Right after a cancel the worker may still be leaving its read.
    if (busy_ && gate_.Cancelled()) JoinWorker(kRestartWaitMs);
    if (busy_ || folder_[0] == '\0') return 1;
    JoinWorker(INFINITE);  // already past its last event
    if (!ParseTarget(url, job.target) || !IsSafeFileName(LocalFileName(url))) return 2;
    if (!JoinPath(folder_, LocalFileName(url), job.localPath)) return 3;
    AppendMirrors(serverList_, job.target);
    std::memcpy(job.folder, folder_, sizeof folder_);
    job.expected = expected;
    job_ = job;
    gate_.Rearm();
    busy_ = true;
    thread_ = CreateThread(nullptr, 0, &Engine::ThreadMain, this, 0, nullptr);
    if (thread_) return 0;
    busy_ = false;
    return 4;
}

void Engine::Cancel()
{
    gate_.Cancel();
    JoinWorker(kCancelWaitMs);
}

int32_t Engine::SetFolder(const char* folder)
{
    char absolute[MAX_PATH] = {};
    if (!PrepareFolder(folder, absolute)) return -1;
    // A running job keeps its own copy; this one serves the next start.
    std::memcpy(folder_, absolute, sizeof folder_);
    return 0;
}

void Engine::Report(int32_t event, uint64_t value)
{
    // The program starts the next job as soon as it hears the last event,
    // before this thread has left; Start then waits for it.
    if (event == kEngineFinished || event == kEngineError) busy_ = false;
    gate_.Report(callback_, this, event, value);
}

DWORD WINAPI Engine::ThreadMain(void* self)
{
    Engine* engine = static_cast<Engine*>(self);
    RunTransfer(*engine, engine->job_);
    engine->busy_ = false;
    return 0;
}
