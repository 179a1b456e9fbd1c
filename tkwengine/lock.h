// The engine's one lock: a critical section, taken only by the scoped guard
// Locked, which also waits on a condition with the lock released.
#pragma once
#include <windows.h>

class CriticalLock {
public:
    CriticalLock() { InitializeCriticalSection(&section_); }
    ~CriticalLock() { DeleteCriticalSection(&section_); }
    CriticalLock(const CriticalLock&) = delete;
    CriticalLock& operator=(const CriticalLock&) = delete;

private:
    friend class Locked;
    CRITICAL_SECTION section_;
};

class Condition {
public:
    Condition() { InitializeConditionVariable(&variable_); }
    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;
    void WakeAll() { WakeAllConditionVariable(&variable_); }

private:
    friend class Locked;
    CONDITION_VARIABLE variable_;
};

class Locked {
public:
    explicit Locked(CriticalLock& lock) : section_(lock.section_) { EnterCriticalSection(&section_); }
    ~Locked() { LeaveCriticalSection(&section_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

    // Releases the lock until condition wakes or timeoutMs pass, then takes it again.
    void Wait(Condition& condition, DWORD timeoutMs)
    {
        SleepConditionVariableCS(&condition.variable_, &section_, timeoutMs);
    }

private:
    CRITICAL_SECTION& section_;
};
