#include "tkwengine/cancel_gate.h"

#include <algorithm>
#include <iterator>
#include <utility>

CancelGate::CancelGate() : cancelEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    InitializeCriticalSection(&lock_);
}

CancelGate::~CancelGate()
{
    JoinCloser();
    DeleteCriticalSection(&lock_);
}

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
    EnterCriticalSection(&lock_);
    cancelled_ = false;
    aborted_ = false;
    ResetEvent(cancelEvent_.Get());
    LeaveCriticalSection(&lock_);
}

void CancelGate::Cancel()
{
    EnterCriticalSection(&lock_);
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
    LeaveCriticalSection(&lock_);
}

bool CancelGate::Attach(size_t slot, HINTERNET request)
{
    EnterCriticalSection(&lock_);
    bool live = !cancelled_ && !aborted_;
    if (live) requests_[slot] = request;
    LeaveCriticalSection(&lock_);
    if (!live) InternetCloseHandle(request);
    return live;
}

// Closed outside the lock: closing a request whose body is not read through
// can take a while under Wine, and reports and other connections must not wait.
void CancelGate::Close(size_t slot)
{
    EnterCriticalSection(&lock_);
    HINTERNET request = requests_[slot];
    requests_[slot] = nullptr;
    LeaveCriticalSection(&lock_);
    if (request) InternetCloseHandle(request);
}

void CancelGate::Abort()
{
    HINTERNET open[kSlots] = {};
    EnterCriticalSection(&lock_);
    aborted_ = true;
    std::swap(open, requests_);
    LeaveCriticalSection(&lock_);
    for (HINTERNET request : open)
        if (request) InternetCloseHandle(request);
}

void CancelGate::Resume()
{
    EnterCriticalSection(&lock_);
    aborted_ = false;
    LeaveCriticalSection(&lock_);
}

void CancelGate::Report(EngineCallback callback, void* context, int32_t event, uint64_t value)
{
    EnterCriticalSection(&lock_);
    if (!cancelled_)
        callback(context, event, static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32));
    LeaveCriticalSection(&lock_);
}
