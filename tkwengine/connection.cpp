#include "tkwengine/connection.h"

#include <algorithm>

namespace {

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

}  // namespace

Connection::Connection(const RoundSetup& setup, PieceTable& pieces, ChunkPipe& pipe, const CancelSignal& cancel,
                       Exchange& exchange, size_t slot)
    : setup_(setup), pieces_(pieces), pipe_(pipe), cancel_(cancel), exchange_(exchange), slot_(slot)
{
}

void Connection::Start(size_t endpoint)
{
    endpoint_ = endpoint;
    if (thread_.Start<Connection, &Connection::Run>(this)) return;
    outcome_ = Outcome::NetworkFailed;
    pipe_.SenderDone();
}

void Connection::Run()
{
    size_t piece = 0;
    ByteRange range;
    uint64_t span = setup_.exact ? kFirstSpan : PieceTable::kOpenEnd;  // one body is read to its end
    while (pieces_.Claim(static_cast<int>(slot_), span, piece, range)) {
        DWORD begin = GetTickCount();
        outcome_ = Fetch(piece, range);
        if (outcome_ == Outcome::Ok) {
            span = NextSpan(range.to - range.from, GetTickCount() - begin);
            continue;
        }
        pieces_.Disown(piece);
        if (outcome_ == Outcome::Cancelled || !MoveOn()) break;
    }
    exchange_.Close();
    pipe_.SenderDone();
}

Outcome Connection::Fetch(size_t piece, ByteRange range)
{
    if (!exchange_.IsOpen()) {
        if (Outcome outcome = Connect(range); outcome != Outcome::Ok) return outcome;
    }
    Outcome outcome = Receive(piece);
    exchange_.Close();
    return outcome;
}

Outcome Connection::Connect(ByteRange range)
{
    const Target& target = *setup_.target;
    if (!exchange_.Open(setup_.session, target.endpoints[endpoint_], target, range, setup_.version))
        return cancel_.Raised() ? Outcome::Cancelled : Outcome::NetworkFailed;
    if (exchange_.Carries(range, setup_.size, setup_.version)) return Outcome::Ok;
    // Any other answer, a 200, other bytes or another version among them,
    // makes this server no use for pieces; the next round's opening request
    // finds out whether the file changed.
    Outcome outcome = exchange_.Fits(setup_.size, Validator());
    exchange_.Close();
    return outcome != Outcome::Ok ? outcome : Outcome::NetworkFailed;
}

Outcome Connection::Receive(size_t piece)
{
    DWORD want = kMinReadSize;
    for (;;) {
        DWORD size = pieces_.Reserve(piece, want);
        if (size == 0) return setup_.exact || BodyEnded() ? Outcome::Ok : Outcome::SizeChanged;
        char* buffer = pipe_.Acquire();
        if (!buffer) return Outcome::Cancelled;
        DWORD got = 0, before = GetTickCount();
        BOOL read = InternetReadFile(exchange_.Request(), buffer, size, &got);
        if (!read || got == 0) {
            pipe_.Recycle(buffer);
            if (read && !setup_.exact && !setup_.size) {
                pieces_.EndBody(piece);
                return Outcome::Ok;
            }
            // A body that ends short of the file's size is a lost connection.
            return cancel_.Raised() ? Outcome::Cancelled : Outcome::NetworkFailed;
        }
        sources_ |= 1u << endpoint_;
        want = NextReadSize(want, got, GetTickCount() - before);
        pipe_.Deliver({buffer, got, pieces_.Received(piece, got), piece});
    }
}

// One body of a known size ends where the file does: more bytes come from
// another file, and none of them is written.
bool Connection::BodyEnded()
{
    char more = 0;
    DWORD got = 0;
    return !InternetReadFile(exchange_.Request(), &more, 1, &got) || got == 0;
}

// A connection whose server failed goes on with the next one it has not
// failed on; with one connection reading one body, or all of a round's on
// one server, the round ends instead.
bool Connection::MoveOn()
{
    if (!setup_.exact || setup_.single) return false;
    const size_t count = setup_.target->count;
    failed_[endpoint_] = true;
    for (size_t step = 1; step <= count; ++step) {
        size_t next = (endpoint_ + step) % count;
        if (failed_[next]) continue;
        endpoint_ = next;
        return true;
    }
    return false;
}
