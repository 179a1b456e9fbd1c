// Closes a cancel's open requests on a thread of its own: a close can take
// seconds under Wine, and Cancel must return at once.
#pragma once
#include "tkwengine/request_registry.h"
#include "tkwengine/thread_guard.h"

class HandleCloser {
public:
    // Takes over requests; closes them here when no thread starts.
    void Close(const RequestRegistry::Requests& requests);
    // True once every request handed over is closed; false on time-out.
    bool Join(DWORD timeoutMs = INFINITE) { return thread_.Join(timeoutMs); }

private:
    void Run() { CloseRequests(requests_); }

    RequestRegistry::Requests requests_ = {};
    ThreadGuard thread_;  // last: joined before the requests it closes go
};
