#include "tkwengine/round.h"

#include "common/text.h"
#include "tkwengine/chunk_pipe.h"
#include "tkwengine/reporter.h"
#include "tkwengine/resume_state.h"

namespace {

constexpr DWORD kProgressIntervalMs = 100;  // at most about ten Progress events a second,
constexpr DWORD kProgressSilenceMs = 500;   // and one at least this often, even while a link stalls

class ProgressClock {
public:
    ProgressClock(Reporter& reporter, uint64_t present)
        : reporter_(reporter), reported_(present), last_(GetTickCount())
    {
    }

    void Tick(uint64_t present)
    {
        DWORD quiet = GetTickCount() - last_;
        if (quiet < kProgressIntervalMs || (present == reported_ && quiet < kProgressSilenceMs)) return;
        reporter_.Progress(present);
        reported_ = present;
        last_ = GetTickCount();
    }

private:
    Reporter& reporter_;
    uint64_t reported_;
    DWORD last_;
};

}  // namespace

Round::Round(const JobLinks& links, PartFile& file, PieceTable& pieces,
             Exchange (&exchanges)[RequestRegistry::kSlots], const RoundSetup& setup)
    : links_(links), file_(file), pieces_(pieces), exchanges_(exchanges), setup_(setup), follower_(setup_, pieces)
{
}

Outcome Round::Run(uint64_t& present)
{
    links_.pipe.Reset(setup_.connections);
    Launch();
    follower_.Start();
    Outcome outcome = Drain(present);
    if (outcome != Outcome::Ok) {
        links_.pipe.Shut();
        links_.requests.Abort();
    }
    for (std::optional<Connection>& connection : connections_)
        if (connection) connection->Join();
    links_.requests.Resume();
    follower_.Stop();
    SaveState(setup_, file_, pieces_);
    if (outcome != Outcome::Ok) return outcome;
    if (!pieces_.Complete()) return ConnectionsOutcome();
    // One body is only as good as its end: one that goes on past the file's size is another file's.
    return setup_.exact ? Outcome::Ok : connections_[0]->LastOutcome();
}

void Round::Launch()
{
    for (size_t slot = 0; slot < setup_.connections; ++slot) {
        connections_[slot].emplace(setup_, pieces_, links_.pipe, links_.cancel, exchanges_[slot], slot);
        connections_[slot]->Start(setup_.single ? setup_.firstEndpoint
                                                : (setup_.firstEndpoint + slot) % setup_.target->count);
    }
}

Outcome Round::Drain(uint64_t& present)
{
    ProgressClock progress(links_.reporter, present);
    for (;;) {
        if (links_.cancel.Raised()) return Outcome::Cancelled;
        Chunk chunk;
        if (links_.pipe.Take(chunk, kProgressIntervalMs)) {
            Outcome written = file_.WriteAt(chunk.offset, chunk.data, chunk.size);
            links_.pipe.Recycle(chunk.data);
            if (written != Outcome::Ok) return written;
            pieces_.Written(chunk.piece, chunk.size);
            present += chunk.size;
        } else if (links_.pipe.Drained()) {
            return Outcome::Ok;
        }
        progress.Tick(present);
    }
}

uint32_t Round::Sources() const
{
    uint32_t sources = 0;
    for (size_t slot = 0; slot < setup_.connections; ++slot) sources |= connections_[slot]->Sources();
    return sources;
}

// A round left unfinished is tried again when any connection's last failure
// may pass; otherwise the first lasting failure is what the program hears.
Outcome Round::ConnectionsOutcome() const
{
    Outcome lasting = Outcome::Ok;
    for (size_t slot = 0; slot < setup_.connections; ++slot) {
        Outcome outcome = connections_[slot]->LastOutcome();
        if (IsTransient(outcome)) return outcome;
        if (lasting == Outcome::Ok) lasting = outcome;
    }
    return lasting != Outcome::Ok ? lasting : Outcome::NetworkFailed;
}

bool SaveState(const RoundSetup& setup, PartFile& part, const WrittenBytes& written)
{
    if (!setup.state) return true;
    ResumeState state;
    state.size = setup.size;
    state.count = written.Missing(state.missing, ResumeState::kMaxMissing);
    state.version = setup.version;
    if (setup.firstEndpoint < setup.target->count) state.server = setup.target->endpoints[setup.firstEndpoint];
    CopyText(state.sha256, setup.sha256);
    state.compared = setup.compared;
    // A record that claims no byte has nothing to wait for on the disk.
    const bool claims = state.MissingBytes() < state.size;
    return (!claims || part.Flush()) && setup.state->Save(state);
}
