// A thread of the engine's own in an uncopyable guard: joined before its
// handle is closed, so nothing the thread uses can go before it.
#pragma once
#include <windows.h>

#include "common/win_handles.h"

class ThreadGuard {
public:
    ThreadGuard() = default;
    ~ThreadGuard() { Join(INFINITE); }
    ThreadGuard(const ThreadGuard&) = delete;
    ThreadGuard& operator=(const ThreadGuard&) = delete;

    // Runs (role->*Run)() on a new thread; false when none starts. The
    // thread waits until its handle is held, so it may ask IsCurrent at once.
    template <class Role, void (Role::*Run)()> bool Start(Role* role)
    {
        handle_.Reset(CreateThread(nullptr, 0, &Enter<Role, Run>, role, CREATE_SUSPENDED, &id_));
        if (handle_.Valid()) ResumeThread(handle_.Get());
        return handle_.Valid();
    }

    // True once the thread has ended, or when none was started; false on
    // time-out, and on the thread itself, which cannot wait for its own end.
    bool Join(DWORD timeoutMs)
    {
        if (!handle_.Valid()) return true;
        if (IsCurrent() || WaitForSingleObject(handle_.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
        handle_.Reset();
        return true;
    }

    bool IsCurrent() const { return handle_.Valid() && id_ == GetCurrentThreadId(); }

private:
    template <class Role, void (Role::*Run)()> static DWORD WINAPI Enter(void* role)
    {
        (static_cast<Role*>(role)->*Run)();
        return 0;
    }

    KernelHandle handle_;
    DWORD id_ = 0;
};
