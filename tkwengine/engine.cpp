#include "tkwengine/engine.h"

#include <algorithm>
#include <cstring>

#include "common/file_names.h"
#include "common/net_timeouts.h"
#include "common/sha256.h"
#include "common/url.h"
#include "tkwengine/download.h"
#include "tkwengine/exchange.h"
#include "tkwengine/folder.h"

namespace {

// How long a cancel waits for the worker to let go of the file.
constexpr DWORD kCancelWaitMs = 200;
// How long a start waits for a cancelled job to let go.
constexpr DWORD kRestartWaitMs = 1000;

}  // namespace

Engine::Engine(EngineCallback callback, const char* serverList)
    : session_(InternetOpenA("Vexil Engine", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)),
      requests_(cancel_),
      reporter_(callback, this, cancel_),
      ahead_(session_.Get(), cancel_),
      worker_({session_.Get(), cancel_, requests_, reporter_, pipe_, &ahead_})
{
    if (serverList) CopyText(serverList_, serverList);
}

// A released engine's job is cancelled; the guards of the worker and the
// closer then wait for their threads.
Engine::~Engine() { Cancel(); }

bool Engine::Stop(DWORD waitMs)
{
    Cancel();
    const DWORD begin = GetTickCount();
    const auto left = [&] { return waitMs - std::min(waitMs, GetTickCount() - begin); };
    return worker_.Join(left()) && closer_.Join(left()) && ahead_.Join(left());
}

bool Engine::Launch()
{
    if (!session_) return false;
    ApplyTimeouts(session_.Get(), kTransferTimeoutMs);
    // WinINet keeps to a few connections a server unless told more, for the
    // whole process: the current file's and those fetched ahead.
    DWORD most = Ahead::kMaxConnections;
    InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &most, sizeof most);
    InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &most, sizeof most);
    return pipe_.Allocate();
}

StartResult Engine::MakeJob(const char* url, uint64_t expected, const char* sha256, const char* blocksUrl,
                             Job& job) const
{
    if (!ParseTarget(url, job.target) || !IsSafeFileName(LocalFileName(url))) return kStartBadUrl;
    if (sha256 && !ReadSha256Text(sha256, job.sha256)) return kStartBadHash;
    if (!JoinPath(folder_, LocalFileName(url), job.localPath) || !NameSideFiles(job.localPath, job.side))
        return kStartPathTooLong;
    AppendMirrors(serverList_, job.target);
    if (job.sha256[0] != '\0' && blocksUrl && ParseTarget(blocksUrl, job.blocks) &&
        (job.blocks.secure || !job.target.secure))
        AppendMirrors(serverList_, job.blocks);
    else
        job.blocks = Target();
    std::memcpy(job.folder, folder_, sizeof folder_);
    job.expected = expected;
    return kStartAccepted;
}

StartResult Engine::Start(const char* url, uint64_t expected, const char* sha256, const char* blocksUrl)
{
    // Right after a cancel the worker and the files fetched ahead may still
    // be leaving their reads.
    if (worker_.Busy() && cancel_.Raised()) worker_.Join(kRestartWaitMs);
    if (cancel_.Raised() && !ahead_.Join(kRestartWaitMs)) return kStartNotReady;
    // Past its last event the worker ends at once, unless this is its own
    // thread, inside the callback.
    if (worker_.Busy() || folder_[0] == '\0' || !worker_.Join(INFINITE)) return kStartNotReady;
    Job job;
    if (StartResult made = MakeJob(url, expected, sha256, blocksUrl, job); made != kStartAccepted) return made;
    closer_.Join();  // the last cancel's requests
    cancel_.Lower();
    job.ahead = ahead_.Take(job.localPath, job.presentBeforeAhead);
    job.trustRecord = job.ahead == FetchedAhead::Whole;
    currentExpected_ = expected;
    return worker_.Start(job) ? kStartAccepted : kStartNoThread;
}

void Engine::Announce(const FollowingFile* files, uint32_t count)
{
    std::vector<Job> jobs;
    jobs.reserve(std::min<size_t>(count, Ahead::kMaxKnown));  // a Job is kilobytes: no copies as it grows
    for (uint32_t i = 0; i < count && jobs.size() < Ahead::kMaxKnown; ++i) {
        const FollowingFile& file = files[i];
        const uint64_t expected = (static_cast<uint64_t>(file.sizeHigh) << 32) | file.sizeLow;
        Job job;
        // A file split over several connections waits for its turn: fetched
        // ahead over one, it would keep to that one's pace when its turn came.
        if (!file.url || !expected || ConnectionsAtMost(expected) > 1 ||
            MakeJob(file.url, expected, file.sha256 && file.sha256[0] ? file.sha256 : nullptr, file.blocks, job) !=
                kStartAccepted)
            continue;
        job.keepAside = true;
        job.maxConnections = 1;
        jobs.push_back(job);
    }
    ahead_.Announce(jobs, ConnectionsAtMost(currentExpected_), currentExpected_);
}

// The signal goes up first: from then on no request is attached and no
// report starts.
void Engine::Cancel()
{
    cancel_.Raise();
    closer_.Close(requests_.TakeAll());  // blocking calls on the connections return
    ahead_.Cancel();
    reporter_.WaitForInFlight();
    worker_.Join(kCancelWaitMs);
}

bool Engine::SetFolder(const char* folder)
{
    char absolute[MAX_PATH] = {};
    if (!PrepareFolder(folder, absolute)) return false;
    // A running job keeps its own copy; this one serves the next start.
    std::memcpy(folder_, absolute, sizeof folder_);
    return true;
}
