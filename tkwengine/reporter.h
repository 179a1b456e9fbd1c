// Hands a job's events to the program's callback, and turns the outcome a
// job ends in into the event the program hears.
//
// No lock is held during the callback, so the callback may take its time or
// call back into the engine (Start, Cancel, Release) without a deadlock. Yet
// no event follows a cancel: a report starts only while the signal is down,
// checked under the reporter's lock, and Cancel, once it has raised the
// signal, waits (WaitForInFlight) until a report already in the callback is
// over, holding no lock while it waits. From inside the callback it does not
// wait for itself; a callback that waits for the very thread that cancels
// would still deadlock with it. Reports come from the job's thread alone.
#pragma once
#include <windows.h>

#include <cstdint>

#include "common/engine_contract.h"
#include "tkwengine/cancel_signal.h"
#include "tkwengine/lock.h"
#include "tkwengine/outcome.h"

class Reporter {
public:
    Reporter(EngineCallback callback, void* context, const CancelSignal& cancel)
        : callback_(callback), context_(context), cancel_(cancel)
    {
    }
    Reporter(const Reporter&) = delete;
    Reporter& operator=(const Reporter&) = delete;

    void Started(uint64_t present) { Send(kEngineStarted, present); }
    void Progress(uint64_t present) { Send(kEngineProgress, present); }
    void Verifying(uint64_t checked) { Send(kEngineVerifying, checked); }
    void Comparing(uint64_t compared) { Send(kEngineComparing, compared); }
    // Finished, an error, or nothing for a cancelled job.
    void Ended(Outcome outcome, uint64_t done);
    // Returns once no report is in the callback, unless called from inside it.
    void WaitForInFlight();

private:
    static constexpr DWORD kNobody = 0;  // no thread has this id

    void Send(int32_t event, uint64_t value);

    EngineCallback callback_;
    void* context_;
    const CancelSignal& cancel_;
    CriticalLock lock_;
    Condition idle_;
    DWORD reporting_ = kNobody;  // the thread inside the callback
};
