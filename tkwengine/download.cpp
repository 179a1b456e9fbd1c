#include "tkwengine/download.h"

#include <algorithm>

#include "common/net_timeouts.h"
#include "tkwengine/cancel_signal.h"
#include "tkwengine/reporter.h"

namespace {

// Smaller files gain too little from several connections.
constexpr uint64_t kSplitFrom = 16ull << 20;
// Each connection of a round has at least this much to fetch.
constexpr uint64_t kMinShare = 4ull << 20;

size_t ConnectionsFor(uint64_t bytes)
{
    return static_cast<size_t>(std::min<uint64_t>(bytes / kMinShare, RequestRegistry::kSlots));
}

}  // namespace

Download::Download(const Job& job, const JobLinks& links)
    : job_(job),
      links_(links),
      session_(InternetOpenA("Vexil Engine", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0))
{
    if (session_.Get()) ApplyTimeouts(session_.Get(), kTransferTimeoutMs);
    sideNamed_ = NameSideFiles(job.localPath, side_);
}

bool Download::Splittable() const { return sideNamed_ && job_.expected >= kSplitFrom; }

Outcome Download::Prepare(uint64_t& done, bool& complete)
{
    if (!session_.Get()) return Outcome::NetworkFailed;
    if (Outcome outcome = InspectLocalFile(job_.localPath, done); outcome != Outcome::Ok) return outcome;
    complete = job_.expected && done == job_.expected;
    ResumeState kept;
    if (complete && sideNamed_) RemoveSideFiles(side_);
    if (complete) return Outcome::Ok;
    if (Splittable() && LoadState(side_, job_.expected, kept))
        done = job_.expected - kept.MissingBytes();
    else if (done > job_.expected)
        done = 0;  // larger than expected: not ours to continue, fetch it whole
    return CheckVolume(job_.folder, job_.expected, done);
}

Outcome Download::MakePlan(Plan& plan)
{
    plan.missing.size = job_.expected;
    if (Splittable() && LoadState(side_, job_.expected, plan.missing)) {
        plan.resuming = plan.split = true;
        plan.present = job_.expected - plan.missing.MissingBytes();
        plan.connections = std::max<size_t>(ConnectionsFor(plan.missing.MissingBytes()), 1);
        return Outcome::Ok;
    }
    // None kept, or a damaged or foreign one: the file's own bytes count.
    if (sideNamed_) RemoveSideFiles(side_);
    if (Outcome outcome = InspectLocalFile(job_.localPath, plan.present); outcome != Outcome::Ok) return outcome;
    if (plan.present > job_.expected) plan.present = 0;
    plan.missing.count = 1;
    plan.missing.missing[0] = {plan.present, job_.expected};
    plan.connections = Splittable() ? ConnectionsFor(job_.expected - plan.present) : 1;
    plan.split = plan.connections > 1;
    return Outcome::Ok;
}

// The URL's own host, then each mirror, past unreachable hosts and 5xx answers.
Outcome Download::OpenAnywhere(ByteRange range, Exchange& exchange, size_t& endpoint)
{
    const Target& target = job_.target;
    bool serverError = false;
    for (endpoint = 0; endpoint < target.count && !links_.cancel.Raised(); ++endpoint) {
        if (!exchange.Open(session_.Get(), target.endpoints[endpoint], target, range)) continue;
        Outcome outcome = exchange.StatusOutcome();
        if (outcome != Outcome::ServerFailed) return outcome;
        serverError = true;
        exchange.Close();
    }
    if (links_.cancel.Raised()) return Outcome::Cancelled;
    return serverError ? Outcome::ServerFailed : Outcome::NetworkFailed;
}

// The file's own name stays free until the file is whole: bytes already
// there move into the side file, where every piece goes at its offset.
Outcome Download::UseSideFiles(const Plan& plan)
{
    if (!state_.Open(side_.state)) return Outcome::CreateFailed;
    if (!plan.resuming) {
        if (!state_.Save(plan.missing)) return Outcome::WriteFailed;
        bool moved = plan.present ? MoveFileExA(job_.localPath, side_.part, MOVEFILE_REPLACE_EXISTING)
                                  : DeleteFileA(job_.localPath) || GetLastError() == ERROR_FILE_NOT_FOUND;
        if (!moved) return FileError(GetLastError());
    }
    split_ = true;
    return file_.Open(side_.part);
}

// One connection into the file itself: a 200 brings the whole body again,
// a 206 must go on where the file ends.
Outcome Download::UseTarget(const Exchange& exchange, const Plan& plan, uint64_t& start)
{
    const ContentRange& range = exchange.Range();
    bool partial = exchange.Status() == HTTP_STATUS_PARTIAL_CONTENT;
    if (partial && !(range.startKnown && range.first == plan.present)) return Outcome::RangeRefused;
    start = partial ? plan.present : 0;
    split_ = false;
    if (Outcome outcome = file_.Open(job_.localPath); outcome != Outcome::Ok) return outcome;
    return file_.TruncateAt(start) ? Outcome::Ok : Outcome::WriteFailed;
}

void Download::ReportStarted(uint64_t present)
{
    if (started_) return;
    started_ = true;
    links_.reporter.Started(present);
}

// Sends the round's opening request and lets its answer choose the way:
// exact pieces into the side files, or one body into the file itself.
Outcome Download::OpenRound(const Plan& plan, PieceTable& pieces, Exchange& opening, RoundSetup& setup,
                            uint64_t& done)
{
    ByteRange range = {plan.present, 0};
    size_t piece = 0;
    if (plan.split) {
        pieces.Spread(plan.missing.missing, plan.missing.count, plan.connections);
        pieces.Claim(0, kFirstSpan, piece, range);
    }
    setup.session = session_.Get();
    setup.target = &job_.target;
    if (Outcome outcome = OpenAnywhere(range, opening, setup.firstEndpoint); outcome != Outcome::Ok) return outcome;
    if (plan.split && opening.Carries(range, job_.expected)) {
        setup.exactSize = job_.expected;
        setup.connections = plan.connections;
        setup.state = &state_;
        done = plan.present;
        return UseSideFiles(plan);
    }
    if (plan.resuming) {
        RemoveSideFiles(side_);  // the server no longer serves these pieces as asked
        return Outcome::StartAgain;
    }
    if (Outcome outcome = UseTarget(opening, plan, done); outcome != Outcome::Ok) return outcome;
    pieces.Reset();  // one piece, from the answer's start to the end of its body
    pieces.Add({done, PieceTable::kOpenEnd}, 1);
    pieces.Claim(0, 0, piece, range);
    return Outcome::Ok;
}

Outcome Download::RunRound(uint64_t& done)
{
    file_.Close();
    state_.Close();
    Plan plan;
    if (Outcome outcome = MakePlan(plan); outcome != Outcome::Ok) return outcome;
    if (plan.resuming && plan.missing.count == 0) {  // every byte is there already
        done = plan.present;
        ReportStarted(done);
        return UseSideFiles(plan);
    }
    PieceTable pieces;
    RequestRegistry& requests = links_.requests;
    Exchange exchanges[RequestRegistry::kSlots] = {{requests, 0}, {requests, 1}, {requests, 2}, {requests, 3}};
    RoundSetup setup;
    if (Outcome outcome = OpenRound(plan, pieces, exchanges[0], setup, done); outcome != Outcome::Ok) return outcome;
    ReportStarted(done);
    Outcome outcome = Round(links_, file_, pieces, exchanges, setup).Run(done);
    // A body that ends short of the size the program was given is a lost connection.
    if (outcome == Outcome::Ok && !split_ && job_.expected && done < job_.expected) return Outcome::NetworkFailed;
    return outcome;
}

Outcome Download::Finish()
{
    if (!split_) return file_.Close() ? Outcome::Ok : Outcome::WriteFailed;
    state_.Close();
    if (!file_.TruncateAt(job_.expected) || !file_.Close()) return Outcome::WriteFailed;
    if (!MoveFileExA(side_.part, job_.localPath, MOVEFILE_REPLACE_EXISTING)) return FileError(GetLastError());
    DeleteFileA(side_.state);
    return Outcome::Ok;
}
