#include "tkwengine/cancel_gate.h"

#include <algorithm>
#include <iterator>
#include <utility>

CancelGate::CancelGate() : cancelEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

CancelGate::~CancelGate() { JoinCloser(); }

DWORD WINAPI CancelGate::CloseRequests(void* self)
{
    for (HINTERNET request : static_cast<CancelGate*>(self)->closing_)
        if (request) InternetCloseHandle(request);
    return 0;
}

void CancelGate::JoinCloser()
{
    if (closer_.Valid()) WaitForSingleObject(closer_.Get(), INFINITE);
    closer_.Reset();
}

void CancelGate::Rearm()
{
    JoinCloser();
    Locked locked(lock_);
    cancelled_ = false;
    aborted_ = false;
    ResetEvent(cancelEvent_.Get());
}

void CancelGate::Cancel()
{
    Locked locked(lock_);
    cancelled_ = true;
    SetEvent(cancelEvent_.Get());
    // Closing the handles makes blocking calls on the connections return;
    // a close can take seconds under Wine, so it runs on its own thread.
    bool open = std::any_of(std::begin(requests_), std::end(requests_), [](HINTERNET r) { return r != nullptr; });
    bool handedOver = false;
    if (open && !closer_.Valid()) {
        std::copy(std::begin(requests_), std::end(requests_), std::begin(closing_));
        closer_.Reset(CreateThread(nullptr, 0, &CancelGate::CloseRequests, this, 0, nullptr));
        handedOver = closer_.Valid();
    }
    for (HINTERNET& request : requests_) {
        if (request && !handedOver) InternetCloseHandle(request);
        request = nullptr;
    }
}

bool CancelGate::Attach(size_t slot, HINTERNET request)
{
    {
        Locked locked(lock_);
        if (!cancelled_ && !aborted_) {
            requests_[slot] = request;
            return true;
        }
    }
    InternetCloseHandle(request);
    return false;
}

// Closed outside the lock: closing a request whose body is not read through
// can take a while under Wine, and reports and other connections must not wait.
void CancelGate::Close(size_t slot)
{
    HINTERNET request = nullptr;
    {
        Locked locked(lock_);
        std::swap(request, requests_[slot]);
    }
    if (request) InternetCloseHandle(request);
}

void CancelGate::Abort()
{
    HINTERNET open[kSlots] = {};
    {
        Locked locked(lock_);
        aborted_ = true;
        std::swap(open, requests_);
    }
    for (HINTERNET request : open)
        if (request) InternetCloseHandle(request);
}

void CancelGate::Resume()
{
    Locked locked(lock_);
    aborted_ = false;
}

void CancelGate::Report(EngineCallback callback, void* context, int32_t event, uint64_t value)
{
    Locked locked(lock_);
    if (!cancelled_)
        callback(context, event, static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32));
}
