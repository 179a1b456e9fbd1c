// The files that follow the current one in the program's list, fetched
// ahead while it runs: each into its side files, checked by its hash, and
// left there with a record that claims every byte until the program starts
// it, whose job then finds it whole. A few at a time, one connection each,
// never more connections in all than kMaxConnections with the current
// file's, never more disk than is free for them and the current file.
// Nothing of theirs reaches the program: a file whose fetch ahead failed is
// fetched again when its turn comes, and that is the try it hears of.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tkwengine/chunk_pipe.h"
#include "tkwengine/handle_closer.h"
#include "tkwengine/job.h"
#include "tkwengine/lock.h"
#include "tkwengine/reporter.h"
#include "tkwengine/request_registry.h"
#include "tkwengine/thread_guard.h"

class Ahead {
public:
    static constexpr size_t kSlots = 7;           // files fetched at once besides the current one
    static constexpr size_t kMaxConnections = 8;  // theirs and the current file's, whatever the hosts
    static constexpr size_t kMaxKnown = 64;       // files of a list kept in mind

    Ahead(HINTERNET session, const CancelSignal& cancel);
    ~Ahead();
    Ahead(const Ahead&) = delete;
    Ahead& operator=(const Ahead&) = delete;

    // The files that follow the current one (which takes currentConnections
    // and currentBytes of the disk), in order: they replace the earlier
    // ones, but for those whose fetch runs or is done.
    void Announce(const std::vector<Job>& jobs, size_t currentConnections, uint64_t currentBytes);
    // The program starts the file at localPath: what was done for it ahead,
    // which the start takes over, and the bytes there when its fetch began.
    FetchedAhead Take(const char* localPath, uint64_t& presentBefore);
    // For a file whose fetch ahead runs: waits for its end, telling reporter
    // of its bytes as they arrive; true when it ended whole.
    bool WaitFor(const char* localPath, Reporter& reporter);
    // The cancel signal is up: every open request is closed.
    void Cancel();
    // True once every thread of theirs has ended; false on time-out.
    bool Join(DWORD timeoutMs);

private:
    struct Slot;
    enum class State { Waiting, Running, Whole, Failed };
    struct Known {
        explicit Known(const Job& job);
        Job job;
        std::wstring key;  // of its local path
        State state = State::Waiting;
        bool taken = false;  // started by the program: forgotten once its fetch ends
        Slot* slot = nullptr;
    };

    static HRESULT __stdcall Heard(void* slot, int32_t event, uint32_t low, uint32_t high);
    void Run(Slot& slot);
    bool Next(Slot& slot, Job& job);
    void Done(Slot& slot, Outcome outcome);
    bool Fits(const Job& job) const;
    Known* Find(const char* localPath);
    void StartSlots();

    HINTERNET session_;
    const CancelSignal& cancel_;
    CriticalLock lock_;
    Condition changed_;
    std::vector<Known> known_;
    size_t running_ = 0;
    size_t currentConnections_ = 1;
    uint64_t currentBytes_ = 0;
    std::unique_ptr<Slot> slots_[kSlots];
};
