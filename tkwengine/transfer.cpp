// One download job: local checks, rounds until the file is whole (a
// transient failure tried again after a growing wait, resuming from the
// bytes present), and the closing events.
#include "tkwengine/download.h"
#include "tkwengine/engine.h"
#include "tkwengine/outcome.h"

namespace {

constexpr int kRetries = 3;
constexpr DWORD kFirstRetryWaitMs = 1000;  // doubled for each further try

// The file is closed when this returns, so Finished can follow.
int32_t Transfer(Engine& engine, const Job& job, uint64_t& done)
{
    Download download(engine, job);
    bool complete = false;
    if (int32_t error = download.Prepare(done, complete)) return error;
    if (complete) {
        engine.Report(kEngineStarted, done);
        return 0;
    }
    // A round that brought bytes starts the count of tries afresh.
    for (int failures = 0;;) {
        uint64_t before = done;
        int32_t outcome = download.RunRound(done);
        if (outcome == 0) {
            engine.Report(kEngineProgress, done);
            return download.Finish();
        }
        if (outcome == kStartAgain) continue;
        if (!IsTransient(outcome)) return outcome;
        failures = done > before ? 1 : failures + 1;
        if (failures > kRetries) return outcome;
        if (!engine.Gate().Pause(kFirstRetryWaitMs << (failures - 1))) return kCancelled;
    }
}

}  // namespace

void RunTransfer(Engine& engine, const Job& job)
{
    uint64_t done = 0;
    // The program may start the file the moment it hears Finished: Windows
    // refuses to run a file that any handle still holds open for writing.
    int32_t outcome = Transfer(engine, job, done);
    if (outcome == 0) engine.Report(kEngineFinished, done);
    if (ReportedError(outcome) > 0) engine.Report(kEngineError, static_cast<uint64_t>(ReportedError(outcome)));
}
