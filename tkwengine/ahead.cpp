#include "tkwengine/ahead.h"

#include <algorithm>
#include <iterator>
#include <numeric>

#include "common/file_names.h"
#include "tkwengine/cancel_signal.h"
#include "tkwengine/local_file.h"
#include "tkwengine/transfer.h"

namespace {

// One connection's chunks: one being filled while the other is written.
constexpr size_t kSlotBuffers = 2;
// How often a file's wait for its fetch ahead tells the program how far it got.
constexpr DWORD kProgressIntervalMs = 100;

}  // namespace

struct Ahead::Slot {
    Slot(Ahead& owner, HINTERNET session, const CancelSignal& cancel)
        : owner(owner), requests(cancel), reporter(&Ahead::Heard, this, cancel),
          links{session, cancel, requests, reporter, pipe, nullptr}
    {
    }
    void Run() { owner.Run(*this); }

    Ahead& owner;
    RequestRegistry requests;
    Reporter reporter;  // to Heard alone
    ChunkPipe pipe;
    JobLinks links;
    HandleCloser closer;
    std::atomic<bool> started{false};  // its file's Started is heard
    std::atomic<uint64_t> present{0};
    std::atomic<uint64_t> presentBefore{0};
    bool usable = false;
    bool busy = false;   // under the owner's lock: its thread takes files
    ThreadGuard thread;  // last: joined before what it uses goes
};

Ahead::Known::Known(const Job& job) : job(job), key(PathKey(job.localPath)) {}

Ahead::Ahead(HINTERNET session, const CancelSignal& cancel) : session_(session), cancel_(cancel) {}

Ahead::~Ahead() = default;

HRESULT __stdcall Ahead::Heard(void* context, int32_t event, uint32_t low, uint32_t high)
{
    Slot& slot = *static_cast<Slot*>(context);
    const uint64_t value = (static_cast<uint64_t>(high) << 32) | low;
    if (event == kEngineStarted) slot.presentBefore = value;
    if (event == kEngineStarted || event == kEngineProgress) slot.present = value;
    slot.started = slot.started || event == kEngineStarted;
    slot.owner.changed_.WakeAll();
    return S_OK;
}

void Ahead::Announce(const std::vector<Job>& jobs, size_t currentConnections, uint64_t currentBytes)
{
    {
        Locked locked(lock_);
        currentConnections_ = currentConnections;
        currentBytes_ = currentBytes;
        std::vector<Known> next;
        next.reserve(std::min(kMaxKnown, known_.size() + jobs.size()));
        std::copy_if(known_.begin(), known_.end(), std::back_inserter(next),
                     [](const Known& known) { return known.state == State::Running; });
        for (const Job& job : jobs) {
            if (next.size() >= kMaxKnown) break;
            const Known* old = Find(job.localPath);
            if (old && old->state == State::Running) continue;
            next.push_back(old && old->state == State::Whole ? *old : Known(job));
        }
        known_.swap(next);
    }
    StartSlots();
}

FetchedAhead Ahead::Take(const char* localPath, uint64_t& presentBefore)
{
    Locked locked(lock_);
    Known* known = Find(localPath);
    if (!known) return FetchedAhead::Nothing;
    if (known->state == State::Running) {
        known->taken = true;
        return FetchedAhead::Running;
    }
    const bool whole = known->state == State::Whole;
    presentBefore = known->job.presentBeforeAhead;
    known_.erase(known_.begin() + (known - known_.data()));
    return whole ? FetchedAhead::Whole : FetchedAhead::Nothing;
}

bool Ahead::WaitFor(const char* localPath, Reporter& reporter)
{
    for (bool told = false;;) {
        State state = State::Failed;
        uint64_t present = 0, before = 0;
        bool started = false;
        {
            Locked locked(lock_);
            Known* known = Find(localPath);
            if (known && known->state == State::Running && told) locked.Wait(changed_, kProgressIntervalMs);
            known = Find(localPath);
            if (known) state = known->state;
            if (known && known->slot) {
                started = known->slot->started;
                present = known->slot->present;
                before = known->slot->presentBefore;
            } else if (known) {
                before = known->job.presentBeforeAhead;
            }
            if (known && state != State::Running) known_.erase(known_.begin() + (known - known_.data()));
        }
        // The lock is let go first: the program's callback may call the engine.
        if (!told && (started || state != State::Running)) {
            reporter.Started(before);
            told = true;
        }
        if (state != State::Running || cancel_.Raised()) return state == State::Whole;
        if (told) reporter.Progress(present);
    }
}

void Ahead::Cancel()
{
    for (const std::unique_ptr<Slot>& slot : slots_)
        if (slot) slot->closer.Close(slot->requests.TakeAll());
}

bool Ahead::Join(DWORD timeoutMs)
{
    const DWORD begin = GetTickCount();
    const auto left = [&] { return timeoutMs - std::min(timeoutMs, GetTickCount() - begin); };
    return std::all_of(std::begin(slots_), std::end(slots_), [&](const std::unique_ptr<Slot>& slot) {
        return !slot || (slot->thread.Join(left()) && slot->closer.Join(left()));
    });
}

// A slot's thread takes the files one after another while there are any
// its share of the connections and the disk allows.
void Ahead::Run(Slot& slot)
{
    for (Job job; Next(slot, job);) {
        slot.started = false;
        slot.present = slot.presentBefore = 0;
        uint64_t done = 0;
        Done(slot, Transfer(job, slot.links, done));
    }
}

bool Ahead::Next(Slot& slot, Job& job)
{
    Locked locked(lock_);
    const size_t allowed = std::min(kSlots, kMaxConnections - std::min(kMaxConnections, currentConnections_));
    auto waiting = std::find_if(known_.begin(), known_.end(), [this](const Known& known) {
        return known.state == State::Waiting && !known.taken && Fits(known.job);
    });
    if (cancel_.Raised() || running_ > allowed || waiting == known_.end()) {
        slot.busy = false;
        --running_;
        return false;
    }
    waiting->state = State::Running;
    waiting->slot = &slot;
    job = waiting->job;
    return true;
}

void Ahead::Done(Slot& slot, Outcome outcome)
{
    {
        Locked locked(lock_);
        for (Known& known : known_) {
            if (known.slot != &slot) continue;
            known.state = outcome == Outcome::Ok ? State::Whole : State::Failed;
            known.job.presentBeforeAhead = slot.presentBefore;
            known.slot = nullptr;
        }
    }
    changed_.WakeAll();
}

// Room on the disk for this file besides the current one and those fetched
// ahead already (under the lock).
bool Ahead::Fits(const Job& job) const
{
    const uint64_t reserved =
        std::accumulate(known_.begin(), known_.end(), currentBytes_, [](uint64_t sum, const Known& known) {
            const bool held = known.state == State::Running || known.state == State::Whole;
            return sum + (held ? known.job.expected : 0);
        });
    return CheckVolume(job.folder, job.expected + reserved, 0) == Outcome::Ok;
}

Ahead::Known* Ahead::Find(const char* localPath)
{
    const std::wstring key = PathKey(localPath);
    auto found = std::find_if(known_.begin(), known_.end(), [&](const Known& known) { return known.key == key; });
    return found == known_.end() ? nullptr : &*found;
}

// Idle slots start while files wait and the connections allow; their
// buffers are made at the first announcement.
void Ahead::StartSlots()
{
    for (std::unique_ptr<Slot>& slot : slots_) {
        if (!slot) {
            slot = std::make_unique<Slot>(*this, session_, cancel_);
            slot->usable = slot->pipe.Allocate(kSlotBuffers);
        }
        {
            Locked locked(lock_);
            const size_t allowed =
                std::min(kSlots, kMaxConnections - std::min(kMaxConnections, currentConnections_));
            const bool waiting = std::any_of(known_.begin(), known_.end(),
                                             [](const Known& known) { return known.state == State::Waiting; });
            if (!slot->usable || slot->busy || running_ >= allowed || !waiting || cancel_.Raised()) continue;
            slot->busy = true;
            ++running_;
        }
        slot->thread.Join(INFINITE);  // it let go of its last file under the lock, and is leaving
        if (slot->thread.Start<Slot, &Slot::Run>(slot.get())) continue;
        Locked locked(lock_);
        slot->busy = false;
        --running_;
    }
}
