#include "tkwengine/transfer.h"

#include "tkwengine/cancel_signal.h"
#include "tkwengine/download.h"
#include "tkwengine/reporter.h"

namespace {

constexpr int kRetries = 3;

}  // namespace

Outcome Transfer(const Job& job, const JobLinks& links, uint64_t& done)
{
    Download download(job, links);
    bool complete = false;
    if (Outcome outcome = download.Prepare(done, complete); outcome != Outcome::Ok) return outcome;
    if (complete) {
        download.ReportStarted(done);
        return Outcome::Ok;
    }
    if (Outcome outcome = download.Reuse(); outcome != Outcome::Ok) return outcome;
    // A round that brought bytes starts the count of tries afresh.
    for (int failures = 0;;) {
        uint64_t before = done;
        Outcome outcome = download.RunRound(done);
        if (outcome == Outcome::Ok) {
            links.reporter.Progress(done);
            outcome = download.Finish(done);
            if (outcome != Outcome::StartAgain) return outcome;
        }
        if (outcome == Outcome::StartAgain) continue;
        if (!IsTransient(outcome)) return outcome;
        failures = done > before ? 1 : failures + 1;
        if (failures > kRetries) return outcome;
        if (!links.cancel.Pause(download.RetryPause(failures))) return Outcome::Cancelled;
    }
}
