#include "tkwengine/request_registry.h"

#include <utility>

// Attach and TakeAll meet under the lock, and a cancel raises the signal
// before it takes: a request is either refused here or taken by the cancel.
bool RequestRegistry::Attach(size_t slot, HINTERNET request)
{
    {
        Locked locked(lock_);
        if (!cancel_.Raised() && !aborted_) {
            open_[slot] = request;
            return true;
        }
    }
    InternetCloseHandle(request);
    return false;
}

// Closed outside the lock: closing a request whose body is not read through
// can take a while under Wine, and other connections must not wait.
void RequestRegistry::Close(size_t slot)
{
    HINTERNET request = nullptr;
    {
        Locked locked(lock_);
        std::swap(request, open_[slot]);
    }
    if (request) InternetCloseHandle(request);
}

HINTERNET RequestRegistry::Detach(size_t slot)
{
    HINTERNET request = nullptr;
    Locked locked(lock_);
    std::swap(request, open_[slot]);
    return request;
}

RequestRegistry::Requests RequestRegistry::TakeAll()
{
    Requests taken = {};
    Locked locked(lock_);
    std::swap(taken, open_);
    return taken;
}

void RequestRegistry::Abort()
{
    Requests taken = {};
    {
        Locked locked(lock_);
        aborted_ = true;
        std::swap(taken, open_);
    }
    CloseRequests(taken);
}

void RequestRegistry::Resume()
{
    Locked locked(lock_);
    aborted_ = false;
}

void CloseRequests(const RequestRegistry::Requests& requests)
{
    for (HINTERNET request : requests)
        if (request) InternetCloseHandle(request);
}
