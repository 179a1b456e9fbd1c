#include "tkwengine/round.h"

#include <algorithm>

namespace {

constexpr DWORD kProgressIntervalMs = 100;  // at most about ten Progress events a second,
constexpr DWORD kProgressSilenceMs = 500;   // and one at least this often, even while a link stalls
constexpr DWORD kStateIntervalMs = 1000;
constexpr DWORD kReadTargetMs = 50;
constexpr DWORD kSpanTargetMs = 4000;
constexpr uint64_t kMaxSpan = 64ull << 20;
constexpr DWORD kMinReadSize = 4096;

// How WinINet under Wine reads a body, measured with bench/wininet_probe
// against nginx on loopback, fast and capped at 40 KB/s:
// - InternetReadFile returns only when the asked size has arrived or the
//   body ends, on fast and slow links alike.
// - InternetReadFileEx with IRF_NO_WAIT returns at once what has arrived
//   when something has (about 1 MiB a call on the fast link); when nothing
//   has, it blocks like InternetReadFile: on the slow link one call waited
//   4 s for the rest of the body.
// - InternetQueryDataAvailable waits for data and reports at most WinINet's
//   8 KiB receive buffer: reading what it reports takes 16,000 calls per
//   128 MiB, at half the speed of 1 MiB reads.
// So each read asks for what the link delivers in about kReadTargetMs at
// the rate just seen: the whole buffer on fast links, a few KiB on slow
// ones, so progress keeps coming while a read blocks. It grows at most
// twofold per read: a read served from buffered data says little about the
// link.
DWORD NextReadSize(DWORD want, DWORD got, DWORD elapsedMs)
{
    uint64_t paced = static_cast<uint64_t>(got) * kReadTargetMs / std::max<DWORD>(elapsedMs, 1);
    uint64_t size = std::min<uint64_t>(paced, static_cast<uint64_t>(want) * 2);
    return static_cast<DWORD>(std::clamp<uint64_t>(size, kMinReadSize, ChunkPipe::kBufferSize));
}

uint64_t NextSpan(uint64_t bytes, DWORD elapsedMs)
{
    return std::clamp<uint64_t>(bytes * kSpanTargetMs / std::max<DWORD>(elapsedMs, 1), kFirstSpan, kMaxSpan);
}

class ProgressClock {
public:
    ProgressClock(Engine& engine, uint64_t present) : engine_(engine), reported_(present), last_(GetTickCount()) {}

    void Tick(uint64_t present)
    {
        DWORD quiet = GetTickCount() - last_;
        if (quiet < kProgressIntervalMs || (present == reported_ && quiet < kProgressSilenceMs)) return;
        engine_.Report(kEngineProgress, present);
        reported_ = present;
        last_ = GetTickCount();
    }

private:
    Engine& engine_;
    uint64_t reported_;
    DWORD last_;
};

}  // namespace

Round::Round(Engine& engine, TargetFile& file, PieceTable& pieces, Exchange (&exchanges)[CancelGate::kSlots],
             const RoundSetup& setup)
    : engine_(engine), file_(file), pieces_(pieces), exchanges_(exchanges), setup_(setup)
{
}

Outcome Round::Run(uint64_t& present)
{
    engine_.Pipe().Reset(setup_.connections);
    Launch();
    Outcome outcome = Drain(present);
    if (outcome != Outcome::Ok) {
        engine_.Pipe().Shut();
        engine_.Gate().Abort();
    }
    for (Connection& connection : connections_) {
        if (connection.thread.Valid()) WaitForSingleObject(connection.thread.Get(), INFINITE);
        connection.thread.Reset();
    }
    engine_.Gate().Resume();
    SaveState();
    if (outcome != Outcome::Ok) return outcome;
    return pieces_.Complete() ? Outcome::Ok : ConnectionsOutcome();
}

void Round::Launch()
{
    for (size_t slot = 0; slot < setup_.connections; ++slot) {
        Connection& connection = connections_[slot];
        connection.round = this;
        connection.slot = slot;
        connection.endpoint = (setup_.firstEndpoint + slot) % setup_.target->count;
        connection.thread.Reset(CreateThread(nullptr, 0, &Round::ConnectionMain, &connection, 0, nullptr));
        if (connection.thread.Valid()) continue;
        connection.outcome = Outcome::NetworkFailed;
        engine_.Pipe().SenderDone();
    }
}

DWORD WINAPI Round::ConnectionMain(void* connection)
{
    Connection& self = *static_cast<Connection*>(connection);
    self.round->Serve(self);
    return 0;
}

void Round::Serve(Connection& connection)
{
    size_t piece = 0;
    ByteRange range;
    uint64_t span = kFirstSpan;
    while (pieces_.Claim(static_cast<int>(connection.slot), span, piece, range)) {
        DWORD begin = GetTickCount();
        connection.outcome = Fetch(connection, piece, range);
        if (connection.outcome == Outcome::Ok) {
            span = NextSpan(range.to - range.from, GetTickCount() - begin);
            continue;
        }
        pieces_.Disown(piece);
        if (connection.outcome == Outcome::Cancelled || !MoveOn(connection)) break;
    }
    exchanges_[connection.slot].Close();
    engine_.Pipe().SenderDone();
}

Outcome Round::Fetch(const Connection& connection, size_t piece, ByteRange range)
{
    Exchange& exchange = exchanges_[connection.slot];
    if (!exchange.IsOpen()) {
        if (Outcome outcome = Connect(connection, range); outcome != Outcome::Ok) return outcome;
    }
    Outcome outcome = Receive(exchange, piece);
    exchange.Close();
    return outcome;
}

Outcome Round::Connect(const Connection& connection, ByteRange range)
{
    Exchange& exchange = exchanges_[connection.slot];
    const Target& target = *setup_.target;
    if (!exchange.Open(setup_.session, target.endpoints[connection.endpoint], target, range))
        return engine_.Gate().Cancelled() ? Outcome::Cancelled : Outcome::NetworkFailed;
    if (exchange.Carries(range, setup_.exactSize)) return Outcome::Ok;
    // Any other answer, a 200 or other bytes among them, makes this server no use for pieces.
    Outcome outcome = exchange.StatusOutcome();
    exchange.Close();
    return outcome != Outcome::Ok ? outcome : Outcome::NetworkFailed;
}

Outcome Round::Receive(const Exchange& exchange, size_t piece)
{
    ChunkPipe& pipe = engine_.Pipe();
    DWORD want = kMinReadSize;
    for (;;) {
        DWORD size = pieces_.Reserve(piece, want);
        if (size == 0) return Outcome::Ok;
        char* buffer = pipe.Acquire();
        if (!buffer) return Outcome::Cancelled;
        DWORD got = 0, before = GetTickCount();
        BOOL read = InternetReadFile(exchange.Request(), buffer, size, &got);
        if (!read || got == 0) {
            pipe.Recycle(buffer);
            if (read && !setup_.exactSize) {
                pieces_.EndBody(piece);
                return Outcome::Ok;
            }
            return engine_.Gate().Cancelled() ? Outcome::Cancelled : Outcome::NetworkFailed;
        }
        want = NextReadSize(want, got, GetTickCount() - before);
        pipe.Deliver({buffer, got, pieces_.Received(piece, got), piece});
    }
}

// A connection whose server failed goes on with the next one it has not
// failed on; with one connection reading one body, the round ends instead.
bool Round::MoveOn(Connection& connection)
{
    if (!setup_.exactSize) return false;
    const size_t count = setup_.target->count;
    connection.failed[connection.endpoint] = true;
    for (size_t step = 1; step <= count; ++step) {
        size_t next = (connection.endpoint + step) % count;
        if (connection.failed[next]) continue;
        connection.endpoint = next;
        return true;
    }
    return false;
}

Outcome Round::Drain(uint64_t& present)
{
    ChunkPipe& pipe = engine_.Pipe();
    ProgressClock progress(engine_, present);
    DWORD saved = GetTickCount();
    for (;;) {
        if (engine_.Gate().Cancelled()) return Outcome::Cancelled;
        Chunk chunk;
        if (pipe.Take(chunk, kProgressIntervalMs)) {
            Outcome written = file_.WriteAt(chunk.offset, chunk.data, chunk.size);
            pipe.Recycle(chunk.data);
            if (written != Outcome::Ok) return written;
            pieces_.Written(chunk.piece, chunk.size);
            present += chunk.size;
        } else if (pipe.Drained()) {
            return Outcome::Ok;
        }
        progress.Tick(present);
        if (GetTickCount() - saved < kStateIntervalMs) continue;
        SaveState();
        saved = GetTickCount();
    }
}

void Round::SaveState()
{
    if (!setup_.state) return;
    ResumeState state;
    state.size = setup_.exactSize;
    state.count = pieces_.Missing(state.missing, ResumeState::kMaxMissing);
    setup_.state->Save(state);
}

// A round left unfinished is tried again when any connection's last failure
// may pass; otherwise the first lasting failure is what the program hears.
Outcome Round::ConnectionsOutcome() const
{
    Outcome lasting = Outcome::Ok;
    for (size_t slot = 0; slot < setup_.connections; ++slot) {
        Outcome outcome = connections_[slot].outcome;
        if (IsTransient(outcome)) return outcome;
        if (lasting == Outcome::Ok) lasting = outcome;
    }
    return lasting != Outcome::Ok ? lasting : Outcome::NetworkFailed;
}
