#include "tkwengine/download.h"

#include <algorithm>
#include <cstring>

#include "common/net_timeouts.h"
#include "tkwengine/block_map.h"
#include "tkwengine/cancel_signal.h"
#include "tkwengine/index_fetch.h"
#include "tkwengine/old_copy.h"
#include "tkwengine/reporter.h"

namespace {

// Smaller files gain too little from several connections.
constexpr uint64_t kSplitFrom = 16ull << 20;
// Each connection of a round has at least this much to fetch.
constexpr uint64_t kMinShare = 4ull << 20;
// The holes an older copy leaves take many requests however many
// connections there are: against a server that caps each one, every
// connection adds to the speed.
constexpr uint64_t kMinScatteredShare = 1ull << 20;
// A long check never looks like a hang.
constexpr DWORD kVerifyingIntervalMs = 500;
// While an older copy is compared, about 50 MB come in between records.
constexpr DWORD kComparingStateIntervalMs = 100;

size_t ConnectionsFor(uint64_t bytes, size_t most, uint64_t share = kMinShare)
{
    return static_cast<size_t>(std::min<uint64_t>(bytes / share, most));
}

// Where one connection's body goes into the file: a 200 brings the whole
// file again, a 206 must run from the first missing byte to the file's end.
Outcome BodyStart(const Exchange& answer, uint64_t first, uint64_t size, uint64_t& start)
{
    start = 0;
    if (answer.Status() == HTTP_STATUS_OK) return Outcome::Ok;
    const ContentRange& range = answer.Range();
    if (!range.valid || range.first != first || range.last + 1 != size) return Outcome::RangeRefused;
    start = first;
    return Outcome::Ok;
}

// Holes, as an older copy leaves them: each is asked for by its exact range.
bool Scattered(const ResumeState& kept)
{
    return kept.count > 1 || (kept.count == 1 && kept.missing[0].to != kept.size);
}

// Windows refuses to replace a running program, or a read-only file, with
// access denied: a locked file all the same.
Outcome RenameError(DWORD error) { return error == ERROR_ACCESS_DENIED ? Outcome::FileLocked : FileError(error); }

}  // namespace

size_t ConnectionsAtMost(uint64_t size)
{
    return size >= kSplitFrom ? std::max<size_t>(ConnectionsFor(size, kMostConnections), 1) : 1;
}

Download::Download(const Job& job, const JobLinks& links)
    : job_(job),
      links_(links),
      servers_(job.target.count),
      pace_(GetTickCount() ^ (GetCurrentProcessId() << 16) ^ GetCurrentThreadId()),
      started_(job.startReported)
{
}

bool Download::Splittable() const { return job_.expected >= kSplitFrom && job_.maxConnections > 1; }

// A record names what its bytes are of by the file's hash, where the job
// had one (the final check guards it), and by the server's version, where
// one answered. One of another file is refused; one without either gives
// nothing to hold a server's answer against: only the job that wrote it
// goes on from it.
bool Download::Trusted(ResumeState& kept) const
{
    if (!job_.expected || !LoadState(job_.side, job_.expected, kept)) return false;
    const bool hashed = kept.sha256[0] != '\0';
    if (hashed && std::strcmp(kept.sha256, job_.sha256) != 0) return false;
    return ownRecord_ || job_.trustRecord || hashed || !kept.version.Empty();
}

Outcome Download::Prepare(uint64_t& done, bool& complete)
{
    uint64_t local = 0;
    if (Outcome outcome = InspectLocalFile(job_.localPath, local); outcome != Outcome::Ok) return outcome;
    complete = job_.expected && local == job_.expected;
    if (complete && Verified()) {
        if (Outcome outcome = CheckLocalFile(complete); outcome != Outcome::Ok) return outcome;
    }
    if (complete) {
        done = local;
        RemoveSideFiles(job_.side);
        return Outcome::Ok;
    }
    ResumeState kept;
    done = Trusted(kept) ? job_.expected - kept.MissingBytes() : 0;
    return CheckVolume(job_.folder, job_.expected, done);
}

// A local file of the expected size is done only with the file's hash; one
// that cannot be read is fetched again all the same.
Outcome Download::CheckLocalFile(bool& matches)
{
    Outcome outcome = hash_.Begin(job_.localPath) ? Verify(job_.expected, matches) : Outcome::WriteFailed;
    hash_.Reset();
    if (outcome == Outcome::Cancelled) return outcome;
    if (outcome != Outcome::Ok) matches = false;
    return Outcome::Ok;
}

// Hashes what the hash has not yet seen of size bytes, telling the program
// how far it got at once and then every half second.
Outcome Download::Verify(uint64_t size, bool& matches)
{
    links_.reporter.Verifying(hash_.Hashed());
    for (DWORD told = GetTickCount(); hash_.Hashed() < size;) {
        if (links_.cancel.Raised()) return Outcome::Cancelled;
        if (!hash_.Advance(size)) return Outcome::WriteFailed;
        if (GetTickCount() - told < kVerifyingIntervalMs) continue;
        links_.reporter.Verifying(hash_.Hashed());
        told = GetTickCount();
    }
    matches = hash_.Matches(job_.sha256);
    return Outcome::Ok;
}

Outcome Download::Reuse()
{
    uint64_t old = 0;
    if (!Verified() || job_.blocks.count == 0 || InspectLocalFile(job_.localPath, old) != Outcome::Ok)
        return Outcome::Ok;
    ResumeState kept;
    const bool resuming = Trusted(kept);
    // Nothing to compare with, or nothing left to find (a file fetched ahead whole, say).
    if ((old == 0 && !resuming) || (resuming && kept.count == 0)) return Outcome::Ok;
    FetchedIndex fetched;
    // Also for side files alone: the index's request tells which servers take several ranges at once.
    const Outcome outcome = FetchIndex(links_, job_, fetched);
    if (outcome != Outcome::Ok) return outcome == Outcome::Cancelled ? outcome : Outcome::Ok;
    multipart_ = fetched.multipart;
    compared_ = resuming && kept.compared;
    if (old == 0 || compared_) return Outcome::Ok;
    return CompareOldCopy(fetched.index, resuming, kept);
}

// The part file starts afresh unless it holds a record's bytes. No server
// has sent a byte of what the copy gives: the record is bound to the file's
// hash, and the bytes count as an earlier run's.
Outcome Download::CompareOldCopy(const BlockIndex& index, bool resuming, ResumeState& kept)
{
    if (!resuming) {
        DropSideFiles();
        kept.size = job_.expected;
        kept.count = 1;
        kept.missing[0] = {0, job_.expected};
    }
    BlockMap map;
    if (!map.Begin(job_.expected, index.blockSize, kept)) return Outcome::Ok;  // memory is short: rounds fetch it all
    if (Outcome outcome = part_.Open(job_.side.part); outcome != Outcome::Ok) return outcome;
    if (!FollowPart(!resuming)) return Outcome::WriteFailed;
    if (!state_.Open(job_.side.state)) return Outcome::CreateFailed;
    ownRecord_ = true;
    sources_ |= ServerChoice::kEarlierRun;
    RoundSetup setup;
    setup.target = &job_.target;
    setup.size = job_.expected;
    setup.firstEndpoint = resuming ? FindEndpoint(job_.target, kept.server) : kNoEndpoint;
    setup.version = kept.version;
    setup.part = job_.side.part;
    setup.state = &state_;
    setup.hash = &hash_;
    setup.sha256 = job_.sha256;
    setup.stateIntervalMs = kComparingStateIntervalMs;
    bool whole = false;
    Outcome outcome = SaveState(setup, part_, map)
                          ? CopyOldBlocks(links_, job_.localPath, index, setup, part_, map, whole)
                          : Outcome::WriteFailed;
    compared_ = setup.compared = whole;
    if (!SaveState(setup, part_, map) && outcome == Outcome::Ok) outcome = Outcome::WriteFailed;
    part_.Close();
    state_.Close();
    return outcome;
}

void Download::MakePlan(Plan& plan)
{
    if (Trusted(plan.kept)) {
        if (!ownRecord_) sources_ |= ServerChoice::kEarlierRun;
        plan.resuming = true;
        plan.present = job_.expected - plan.kept.MissingBytes();
        const bool scattered = Scattered(plan.kept);
        plan.split = Splittable() || scattered;
        plan.connections = plan.split ? std::max<size_t>(ConnectionsFor(plan.kept.MissingBytes(), job_.maxConnections,
                                                                        scattered ? kMinScatteredShare : kMinShare),
                                                         1)
                                      : 1;
        return;
    }
    // None kept, or a damaged or foreign one: the file starts from its first byte.
    DropSideFiles();
    plan.kept.size = job_.expected;
    plan.kept.count = job_.expected ? 1 : 0;
    plan.kept.missing[0] = {0, job_.expected};
    plan.connections = Splittable() ? ConnectionsFor(job_.expected, job_.maxConnections) : 1;
    plan.split = plan.connections > 1;
}

// The kept bytes' server first, then the servers in turn, past unreachable
// hosts, 5xx answers, servers that asked for time and files of another size.
Outcome Download::OpenAnywhere(ByteRange range, const Plan& plan, Exchange& exchange, size_t& endpoint)
{
    const Target& target = job_.target;
    size_t order[Target::kMaxEndpoints];
    size_t count = servers_.Order(plan.resuming ? FindEndpoint(target, plan.kept.server) : ServerChoice::kNone, order);
    bool serverError = false, otherSize = false;
    for (size_t turn = 0; turn < count && !links_.cancel.Raised(); ++turn) {
        endpoint = order[turn];
        if (pace_.Waiting(endpoint)) {
            serverError = true;
            continue;
        }
        if (!exchange.Open(links_.session, target.endpoints[endpoint], target, range, plan.kept.version)) continue;
        Outcome outcome = exchange.Fits(job_.expected, plan.kept.version);
        if (outcome != Outcome::ServerFailed && outcome != Outcome::SizeChanged) return outcome;
        (outcome == Outcome::SizeChanged ? otherSize : serverError) = true;
        pace_.Hold(endpoint, exchange.RetryAfterMs());
        exchange.Close();
    }
    if (links_.cancel.Raised()) return Outcome::Cancelled;
    if (otherSize) return Outcome::SizeChanged;
    return serverError ? Outcome::ServerFailed : Outcome::NetworkFailed;
}

// Every byte goes into the part file at its offset, and the record is saved
// before the first new one: a round that is cut short at once leaves a
// valid record all the same.
Outcome Download::UseSideFiles(RoundSetup& setup, const PieceTable& pieces, bool fromZero)
{
    if (Outcome outcome = part_.Open(job_.side.part); outcome != Outcome::Ok) return outcome;
    if (fromZero && !part_.TruncateAt(0)) return Outcome::WriteFailed;
    if (fromZero) sources_ = 0;
    sources_ |= 1u << setup.firstEndpoint;
    if (!FollowPart(fromZero)) return Outcome::WriteFailed;
    setup.part = job_.side.part;
    setup.hash = Verified() ? &hash_ : nullptr;
    if (!job_.expected) return Outcome::Ok;  // a file of unknown size keeps no record
    if (!state_.Open(job_.side.state)) return Outcome::CreateFailed;
    setup.state = &state_;
    ownRecord_ = true;
    return SaveState(setup, part_, pieces) ? Outcome::Ok : Outcome::WriteFailed;
}

// The hash follows the part file from its first byte, and starts again with it.
bool Download::FollowPart(bool fromZero)
{
    if (!Verified()) return true;
    if (fromZero) hash_.Reset();
    return hash_.Begun() || hash_.Begin(job_.side.part);
}

void Download::DropSideFiles()
{
    part_.Close();
    state_.Close();
    hash_.Reset();
    RemoveSideFiles(job_.side);
    sources_ = 0;
    compared_ = false;  // what the comparison gave went with them
}

void Download::ReportStarted(uint64_t present)
{
    if (started_) return;
    started_ = true;
    links_.reporter.Started(present);
}

// Sends the round's opening request and lets its answer choose the way:
// exact pieces over several connections, or one body from where it starts.
Outcome Download::OpenRound(const Plan& plan, PieceTable& pieces, Exchange& opening, RoundSetup& setup,
                            uint64_t& done)
{
    ByteRange range = {plan.kept.count ? plan.kept.missing[0].from : 0, 0};
    if (plan.split) {
        size_t piece = 0;
        pieces.Spread(plan.kept.missing, plan.kept.count, plan.connections);
        pieces.Claim(0, kFirstSpan, piece, range);
    }
    setup.session = links_.session;
    setup.target = &job_.target;
    setup.size = job_.expected;
    setup.single = servers_.Single();
    setup.multipart = multipart_;
    setup.sha256 = job_.sha256;
    setup.compared = compared_;
    setup.pace = &pace_;
    if (Outcome outcome = OpenAnywhere(range, plan, opening, setup.firstEndpoint); outcome != Outcome::Ok)
        return outcome;
    setup.version = opening.Version();  // the kept one, unless a 200 brings the file again
    if (plan.split && opening.Carries(range, job_.expected, Validator())) {
        setup.exact = true;
        setup.connections = plan.connections;
        done = plan.present;
        return UseSideFiles(setup, pieces, false);
    }
    // A 200 to an If-Range: the file changed. Its server takes ranges, so it
    // comes again as a new download does, over every connection. A 200 to a
    // plain Range is a server that sends whole files, to every connection.
    if (plan.split && opening.Status() == HTTP_STATUS_OK && !plan.kept.version.Empty() && !splitAfresh_)
        return StartSplitAfresh(opening, pieces, setup, done);
    if (Outcome outcome = BodyStart(opening, range.from, job_.expected, done); outcome != Outcome::Ok) return outcome;
    pieces.Reset();  // one piece, from the answer's start to the end of the file or body
    pieces.Add({done, job_.expected ? job_.expected : PieceTable::kOpenEnd}, 1);
    return UseSideFiles(setup, pieces, done == 0);
}

// The answer's body serves the first piece, from the file's first byte; the
// other connections ask for the rest by range, of the answer's version.
Outcome Download::StartSplitAfresh(const Exchange& opening, PieceTable& pieces, RoundSetup& setup, uint64_t& done)
{
    if (Outcome outcome = opening.Fits(job_.expected, Validator()); outcome != Outcome::Ok) return outcome;
    splitAfresh_ = true;  // should the server send every range whole, the next round reads one body
    setup.connections = std::max<size_t>(ConnectionsFor(job_.expected, job_.maxConnections), 1);
    pieces.Reset();
    pieces.Add({0, job_.expected}, setup.connections);
    size_t piece = 0;
    ByteRange range;
    pieces.Claim(0, kFirstSpan, piece, range);
    setup.exact = true;
    done = 0;
    return UseSideFiles(setup, pieces, true);
}

// The server's file is another version than the kept bytes, or a range of
// them is refused (a 416: the file is shorter now): they go, and the file
// starts again from zero on one server. A file that changes again within
// the job ends it.
Outcome Download::StartAgainAfterChange()
{
    if (restarted_) return Outcome::FileChanged;
    restarted_ = true;
    DropSideFiles();
    servers_.KeepToOne();
    return Outcome::StartAgain;
}

Outcome Download::RunRound(uint64_t& done)
{
    part_.Close();
    state_.Close();
    Plan plan;
    MakePlan(plan);
    if (plan.resuming && plan.kept.count == 0) {  // every byte is there already
        done = plan.present;
        ReportStarted(done);
        return part_.Open(job_.side.part);
    }
    PieceTable pieces;
    RequestRegistry& requests = links_.requests;
    Exchange exchanges[RequestRegistry::kSlots] = {{requests, 0}, {requests, 1}, {requests, 2}, {requests, 3}};
    RoundSetup setup;
    Outcome outcome = OpenRound(plan, pieces, exchanges[0], setup, done);
    if (outcome == Outcome::FileChanged || (outcome == Outcome::RangeRefused && plan.resuming))
        return StartAgainAfterChange();
    if (outcome != Outcome::Ok) return outcome;
    ReportStarted(done);
    Round round(links_, part_, pieces, exchanges, setup);
    outcome = round.Run(done);
    sources_ |= round.Sources();
    if (outcome == Outcome::SizeChanged) DropSideFiles();  // bytes of another file
    return outcome;
}

// A copy without the file's hash came from a bad server: it goes, and the
// next one comes from the next server.
Outcome Download::PassBadCopy()
{
    uint32_t sources = sources_;
    DropSideFiles();
    return servers_.PassBadCopy(sources) ? Outcome::StartAgain : Outcome::VerifyFailed;
}

// The bytes are on the disk before the name points at them.
Outcome Download::Finish(uint64_t size)
{
    state_.Close();
    if (!part_.TruncateAt(size) || !part_.Flush()) return Outcome::WriteFailed;
    if (Verified()) {
        bool matches = false;
        Outcome outcome = FollowPart(false) ? Verify(size, matches) : Outcome::WriteFailed;
        if (outcome != Outcome::Ok) return outcome;
        if (!matches) return PassBadCopy();
    }
    if (!part_.Close()) return Outcome::WriteFailed;
    // Fetched ahead, it waits in its side files for its turn; the round left
    // a record that claims every byte.
    if (job_.keepAside) return Outcome::Ok;
    if (!MoveFileExA(job_.side.part, job_.localPath, MOVEFILE_REPLACE_EXISTING)) return RenameError(GetLastError());
    DeleteFileA(job_.side.state);
    return Outcome::Ok;
}
