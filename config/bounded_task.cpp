#include "config/bounded_task.h"

#include "common/win_handles.h"

namespace {

enum Stage : int { kRunning, kFinished, kGivenUp };

}  // namespace

struct BoundedTask::Shared {
    explicit Shared(Work w) : work(std::move(w)) {}
    Work work;
    KernelHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> stage{kRunning};  // running, then finished or given up: whoever moves first decides
    std::atomic<bool> givenUp{false};
};

BoundedTask::BoundedTask(Work work, DWORD budgetMs)
    : shared_(std::make_shared<Shared>(std::move(work))), deadline_(GetTickCount() + budgetMs)
{
    auto* owned = new std::shared_ptr<Shared>(shared_);
    KernelHandle thread;
    if (shared_->done.Valid()) thread.Reset(CreateThread(nullptr, 0, &BoundedTask::Run, owned, 0, nullptr));
    if (thread.Valid()) return;
    delete owned;
    shared_->stage = kGivenUp;  // nothing runs: Wait reports failure
}

BoundedTask::~BoundedTask()
{
    if (!waited_) GiveUp();
}

DWORD WINAPI BoundedTask::Run(void* owned)
{
    const std::unique_ptr<std::shared_ptr<Shared>> self(static_cast<std::shared_ptr<Shared>*>(owned));
    Shared& shared = **self;
    shared.work(shared.givenUp);
    int running = kRunning;
    if (shared.stage.compare_exchange_strong(running, kFinished)) SetEvent(shared.done.Get());
    return 0;
}

void BoundedTask::GiveUp()
{
    shared_->givenUp = true;
    int running = kRunning;
    shared_->stage.compare_exchange_strong(running, kGivenUp);
}

bool BoundedTask::Wait()
{
    waited_ = true;
    const LONG left = static_cast<LONG>(deadline_ - GetTickCount());
    if (shared_->stage == kRunning)
        WaitForSingleObject(shared_->done.Get(), left > 0 ? static_cast<DWORD>(left) : 0);
    GiveUp();  // too late now, unless it finished
    return shared_->stage == kFinished;
}
