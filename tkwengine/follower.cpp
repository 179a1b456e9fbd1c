#include "tkwengine/follower.h"

#include "tkwengine/prefix_hash.h"
#include "tkwengine/round.h"

namespace {

constexpr DWORD kIdleMs = 20;  // between looks at a prefix that has not grown

}  // namespace

Follower::Follower(const RoundSetup& setup, const WrittenBytes& written)
    : setup_(setup), written_(written), stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

void Follower::Start()
{
    if (!setup_.state && !setup_.hash) return;
    // Without a handle of its own it cannot flush, and saves nothing.
    if (setup_.state) part_.Open(setup_.part);
    if (stop_.Valid()) thread_.Start<Follower, &Follower::Run>(this);
}

void Follower::Stop()
{
    if (stop_.Valid()) SetEvent(stop_.Get());
    thread_.Join(INFINITE);
    part_.Close();
}

// Below the transfer's threads: neither task may slow it.
void Follower::Run()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    bool hashing = setup_.hash != nullptr;
    DWORD saved = GetTickCount();
    for (DWORD wait = 0; WaitForSingleObject(stop_.Get(), wait) == WAIT_TIMEOUT;) {
        uint64_t prefix = written_.WrittenPrefix();
        bool behind = hashing && setup_.hash->Hashed() < prefix;
        if (behind) hashing = setup_.hash->Advance(prefix);
        wait = behind ? 0 : hashing ? kIdleMs : setup_.stateIntervalMs;
        if (GetTickCount() - saved < setup_.stateIntervalMs) continue;
        SaveState(setup_, part_, written_);
        saved = GetTickCount();
    }
}
