// Serialises cancellation against event reports and the open requests, so
// a cancel aborts the blocking calls of every connection and no event
// follows it.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "common/engine_contract.h"
#include "common/win_handles.h"
#include "tkwengine/lock.h"

class CancelGate {
public:
    static constexpr size_t kSlots = 4;  // one open request per connection

    CancelGate();
    ~CancelGate();
    CancelGate(const CancelGate&) = delete;
    CancelGate& operator=(const CancelGate&) = delete;

    void Rearm();  // joins the closer of the previous cancel
    void Cancel();
    bool Cancelled() const { return cancelled_.load(); }
    // Waits ms; false when a cancel cut the wait short.
    bool Pause(DWORD ms) const { return WaitForSingleObject(cancelEvent_.Get(), ms) == WAIT_TIMEOUT; }

    // False (and request closed) after a cancel or an abort.
    bool Attach(size_t slot, HINTERNET request);
    // Closes the slot's request, unless a cancel or an abort already did.
    void Close(size_t slot);
    // Closes every open request and refuses new ones until Resume: a failed
    // write ends all connections of a round at once.
    void Abort();
    void Resume();

    void Report(EngineCallback callback, void* context, int32_t event, uint64_t value);

private:
    static DWORD WINAPI CloseRequests(void* self);
    void JoinCloser();

    CriticalLock lock_;
    std::atomic<bool> cancelled_{false};
    bool aborted_ = false;
    KernelHandle cancelEvent_;
    HINTERNET requests_[kSlots] = {};
    HINTERNET closing_[kSlots] = {};
    KernelHandle closer_;  // closes a cancel's requests without blocking the canceller
};
