#include "tkwengine/engine.h"

#include <cstring>

#include "common/file_names.h"
#include "common/url.h"
#include "tkwengine/folder.h"

namespace {

// How long a cancel waits for the worker to let go of the file.
constexpr DWORD kCancelWaitMs = 200;
// How long a start waits for a cancelled job to let go.
constexpr DWORD kRestartWaitMs = 1000;

}  // namespace

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

bool Engine::Launch() { return pipe_.Allocate(); }

void Engine::JoinWorker(DWORD timeoutMs)
{
    if (!thread_ || WaitForSingleObject(thread_, timeoutMs) != WAIT_OBJECT_0) return;
    CloseHandle(thread_);
    thread_ = nullptr;
}

StartResult Engine::Start(const char* url, uint64_t expected)
{
    Job job;
    // Right after a cancel the worker may still be leaving its read.
    if (busy_ && gate_.Cancelled()) JoinWorker(kRestartWaitMs);
    if (busy_ || folder_[0] == '\0') return kStartNotReady;
    JoinWorker(INFINITE);  // already past its last event
    if (!ParseTarget(url, job.target) || !IsSafeFileName(LocalFileName(url))) return kStartBadUrl;
    if (!JoinPath(folder_, LocalFileName(url), job.localPath)) return kStartPathTooLong;
    AppendMirrors(serverList_, job.target);
    std::memcpy(job.folder, folder_, sizeof folder_);
    job.expected = expected;
    job_ = job;
    gate_.Rearm();
    busy_ = true;
    thread_ = CreateThread(nullptr, 0, &Engine::ThreadMain, this, 0, nullptr);
    if (thread_) return kStartAccepted;
    busy_ = false;
    return kStartNoThread;
}

void Engine::Cancel()
{
    gate_.Cancel();
    JoinWorker(kCancelWaitMs);
}

bool Engine::SetFolder(const char* folder)
{
    char absolute[MAX_PATH] = {};
    if (!PrepareFolder(folder, absolute)) return false;
    // A running job keeps its own copy; this one serves the next start.
    std::memcpy(folder_, absolute, sizeof folder_);
    return true;
}

void Engine::Report(int32_t event, uint64_t value)
{
    // The program starts the next job as soon as it hears the last event,
    // before this thread has left; Start then waits for it.
    if (event == kEngineFinished || event == kEngineError) busy_ = false;
    gate_.Report(callback_, this, event, value);
}

// The one place an outcome becomes what the program hears.
void Engine::Ended(Outcome outcome, uint64_t done)
{
    switch (outcome) {
    case Outcome::Ok: return Report(kEngineFinished, done);
    case Outcome::Cancelled:
    case Outcome::StartAgain: return;  // silent; no job ends in a restart
    case Outcome::UnexpectedStatus:
    case Outcome::NetworkFailed: return Report(kEngineError, kErrorNetwork);
    case Outcome::ServerFailed: return Report(kEngineError, kErrorServer);
    case Outcome::Forbidden: return Report(kEngineError, kErrorHttp403);
    case Outcome::NotFound: return Report(kEngineError, kErrorHttp404);
    case Outcome::RangeRefused: return Report(kEngineError, kErrorRangeRefused);
    case Outcome::DiskFull: return Report(kEngineError, kErrorDiskFull);
    case Outcome::FileLocked: return Report(kEngineError, kErrorFileLocked);
    case Outcome::CreateFailed: return Report(kEngineError, kErrorCreateFailed);
    case Outcome::WriteFailed: return Report(kEngineError, kErrorWriteFailed);
    case Outcome::Fat32Limit: return Report(kEngineError, kErrorFat32Limit);
    }
}

DWORD WINAPI Engine::ThreadMain(void* self)
{
    Engine* engine = static_cast<Engine*>(self);
    RunTransfer(*engine, engine->job_);
    engine->busy_ = false;
    return 0;
}
