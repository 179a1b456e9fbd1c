// The program's cancel, seen by every thread of a job: raised by Cancel,
// lowered when the next job starts.
#pragma once
#include <windows.h>

#include <atomic>

#include "common/win_handles.h"

class CancelSignal {
public:
    CancelSignal() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    void Raise()
    {
        raised_ = true;
        SetEvent(event_.Get());
    }
    void Lower()
    {
        raised_ = false;
        ResetEvent(event_.Get());
    }
    bool Raised() const { return raised_.load(); }
    // Set while the signal is up: something to wait on besides one's own work.
    HANDLE Event() const { return event_.Get(); }
    // Waits ms; false when a cancel cut the wait short.
    bool Pause(DWORD ms) const { return WaitForSingleObject(event_.Get(), ms) == WAIT_TIMEOUT; }

private:
    std::atomic<bool> raised_{false};
    KernelHandle event_;
};
