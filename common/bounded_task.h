// Work waited for only until its deadline. It runs on a thread of its own
// and owns whatever it touches, so a caller that gives up simply leaves it:
// WinINet under Wine ignores its time-outs in the TLS handshake, and a
// server that trickles a body never trips one. The work is told that it was
// given up on, stops at its next chance and frees what it holds. Its thread
// keeps the module that runs it loaded until it ends.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

class BoundedTask {
public:
    // The work reads givenUp between blocking steps.
    using Work = std::function<void(const std::atomic<bool>& givenUp)>;

    // Starts work at once; the deadline runs from here. Without a thread the
    // work never runs and Wait says so.
    BoundedTask(Work work, DWORD budgetMs);
    ~BoundedTask();  // gives up on work that was not waited for
    BoundedTask(const BoundedTask&) = delete;
    BoundedTask& operator=(const BoundedTask&) = delete;

    // True when the work ended by the deadline, and before interrupt (an
    // event, or null) was set. After false it may still be running: what it
    // holds is not the caller's to touch.
    bool Wait(HANDLE interrupt = nullptr);
    // False when no thread could be started: the work will never run.
    bool Started() const { return started_; }

private:
    struct Shared;
    static DWORD WINAPI Run(void* shared);
    void GiveUp();

    std::shared_ptr<Shared> shared_;
    DWORD deadline_;
    bool waited_ = false;
    bool started_ = false;
};
