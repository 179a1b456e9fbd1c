#include "common/bounded_task.h"

#include "common/win_handles.h"

namespace {

enum Stage : int { kRunning, kFinished, kGivenUp };

// A reference to the module this code is in, unless that is the program.
void HoldModule(HMODULE& module)
{
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&HoldModule), &module) &&
        module == GetModuleHandleA(nullptr)) {
        FreeLibrary(module);
        module = nullptr;
    }
}

}  // namespace

struct BoundedTask::Shared {
    explicit Shared(Work w) : work(std::move(w)) {}
    Work work;
    HMODULE module = nullptr;  // a reference of the thread's own; null in the program
    KernelHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> stage{kRunning};  // running, then finished or given up: whoever moves first decides
    std::atomic<bool> givenUp{false};
};

BoundedTask::BoundedTask(Work work, DWORD budgetMs)
    : shared_(std::make_shared<Shared>(std::move(work))), deadline_(GetTickCount() + budgetMs)
{
    auto* owned = new std::shared_ptr<Shared>(shared_);
    HoldModule(shared_->module);
    KernelHandle thread;
    if (shared_->done.Valid()) thread.Reset(CreateThread(nullptr, 0, &BoundedTask::Run, owned, 0, nullptr));
    started_ = thread.Valid();
    if (started_) return;
    if (shared_->module) FreeLibrary(shared_->module);
    delete owned;
    shared_->stage = kGivenUp;  // nothing runs: Wait reports failure
}

BoundedTask::~BoundedTask()
{
    if (!waited_) GiveUp();
}

// The module's reference goes last, with the thread: a module unloaded
// while a given-up task still runs would leave it no code to return to.
DWORD WINAPI BoundedTask::Run(void* owned)
{
    HMODULE module = nullptr;
    {
        const std::unique_ptr<std::shared_ptr<Shared>> self(static_cast<std::shared_ptr<Shared>*>(owned));
        Shared& shared = **self;
        module = shared.module;
        shared.work(shared.givenUp);
        int running = kRunning;
        if (shared.stage.compare_exchange_strong(running, kFinished)) SetEvent(shared.done.Get());
    }
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
}

void BoundedTask::GiveUp()
{
    shared_->givenUp = true;
    int running = kRunning;
    shared_->stage.compare_exchange_strong(running, kGivenUp);
}

bool BoundedTask::Wait(HANDLE interrupt)
{
    waited_ = true;
    const LONG left = static_cast<LONG>(deadline_ - GetTickCount());
    const HANDLE ends[] = {shared_->done.Get(), interrupt};
    if (shared_->stage == kRunning)
        WaitForMultipleObjects(interrupt ? 2 : 1, ends, FALSE, left > 0 ? static_cast<DWORD>(left) : 0);
    GiveUp();  // too late now, unless it finished
    return shared_->stage == kFinished;
}
