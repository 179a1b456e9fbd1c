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
Outcome Transfer(Engine& engine, const Job& job, uint64_t& done)
{
    Download download(engine, job);
    bool complete = false;
    if (Outcome outcome = download.Prepare(done, complete); outcome != Outcome::Ok) return outcome;
    if (complete) {
        engine.Report(kEngineStarted, done);
        return Outcome::Ok;
    }
    // A round that brought bytes starts the count of tries afresh.
    for (int failures = 0;;) {
        uint64_t before = done;
        Outcome outcome = download.RunRound(done);
        if (outcome == Outcome::Ok) {
            engine.Report(kEngineProgress, done);
            return download.Finish();
        }
        if (outcome == Outcome::StartAgain) continue;
        if (!IsTransient(outcome)) return outcome;
        failures = done > before ? 1 : failures + 1;
        if (failures > kRetries) return outcome;
        if (!engine.Gate().Pause(kFirstRetryWaitMs << (failures - 1))) return Outcome::Cancelled;
    }
}

}  // namespace

void RunTransfer(Engine& engine, const Job& job)
{
    uint64_t done = 0;
    // The program may start the file the moment it hears Finished: Windows
    // refuses to run a file that any handle still holds open for writing.
    Outcome outcome = Transfer(engine, job, done);
    engine.Ended(outcome, done);
}
