#include "tkwengine/follower.h"

#include "tkwengine/round.h"

namespace {

constexpr DWORD kStateIntervalMs = 1000;

}  // namespace

Follower::Follower(const RoundSetup& setup, const PieceTable& pieces)
    : setup_(setup), pieces_(pieces), stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

void Follower::Start()
{
    if (!setup_.state) return;
    // Without a handle of its own it cannot flush, and saves nothing.
    part_.Open(setup_.part);
    if (stop_.Valid()) thread_.Start<Follower, &Follower::Run>(this);
}

void Follower::Stop()
{
    if (stop_.Valid()) SetEvent(stop_.Get());
    thread_.Join(INFINITE);
    part_.Close();
}

// Below the transfer's threads: it may not slow them.
void Follower::Run()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    while (WaitForSingleObject(stop_.Get(), kStateIntervalMs) == WAIT_TIMEOUT) SaveState(setup_, part_, pieces_);
}
