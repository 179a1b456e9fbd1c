// The open request of each connection, so that a cancel, or a failed write,
// can close them all and make their blocking calls return.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <array>
#include <cstddef>

#include "tkwengine/cancel_signal.h"
#include "tkwengine/lock.h"

class RequestRegistry {
public:
    static constexpr size_t kSlots = 4;  // one open request per connection
    using Requests = std::array<HINTERNET, kSlots>;

    explicit RequestRegistry(const CancelSignal& cancel) : cancel_(cancel) {}
    RequestRegistry(const RequestRegistry&) = delete;
    RequestRegistry& operator=(const RequestRegistry&) = delete;

    // False, and request closed, once the signal is raised or during an abort.
    bool Attach(size_t slot, HINTERNET request);
    // Closes the slot's request, unless a cancel or an abort took it already.
    void Close(size_t slot);
    // The slot's request, no longer the registry's to close (null when a
    // cancel or an abort took it already).
    HINTERNET Detach(size_t slot);
    // Every open request, for a cancel to close; the signal, raised before,
    // keeps the slots empty.
    Requests TakeAll();
    // Closes every open request and refuses new ones until Resume: a failed
    // write ends all connections of a round at once.
    void Abort();
    void Resume();
    // The signal that keeps the slots empty once raised.
    const CancelSignal& Signal() const { return cancel_; }

private:
    const CancelSignal& cancel_;
    CriticalLock lock_;
    bool aborted_ = false;
    Requests open_ = {};
};

void CloseRequests(const RequestRegistry::Requests& requests);
