// The job's thread: runs one download job and reports how it ended. It
// lives only as long as its job: on the Wine bench, a blocked idle thread
// stalls socket connects made by the rest of the process.
#pragma once
#include <windows.h>

#include <atomic>

#include "tkwengine/job.h"
#include "tkwengine/thread_guard.h"

class Worker {
public:
    explicit Worker(const JobLinks& links) : links_(links) {}
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Runs job on a new thread; false when none starts.
    bool Start(const Job& job);
    // True until the job is past its last event.
    bool Busy() const { return busy_; }
    // False on time-out, and from inside the callback (the job's own thread).
    bool Join(DWORD timeoutMs) { return thread_.Join(timeoutMs); }
    bool IsCurrent() const { return thread_.IsCurrent(); }

private:
    void Run();

    JobLinks links_;
    Job job_;
    std::atomic<bool> busy_{false};
    ThreadGuard thread_;  // last: joined before the job it runs goes
};
