#include "tkwengine/connection.h"

#include <algorithm>

#include "tkwengine/retry_pace.h"

namespace {

constexpr DWORD kReadTargetMs = 50;
constexpr DWORD kSpanTargetMs = 4000;
constexpr uint64_t kMaxSpan = 64ull << 20;
constexpr DWORD kMinReadSize = 4096;
// An idle connection looks again this often for a piece fallen far behind.
constexpr DWORD kIdleLookMs = 250;
// A fetch says what its server's rate is once it brought this much, or took
// this long: one short read says little.
constexpr uint64_t kRateBytes = 1 << 20;
constexpr DWORD kRateMs = 1000;

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
    Batch batch;
    uint64_t span = setup_.exact ? kFirstSpan : PieceTable::kOpenEnd;  // one body is read to its end
    for (size_t count = 0; (count = ClaimOrTakeOver(span, batch)) != 0;) {
        DWORD begin = GetTickCount();
        outcome_ = Fetch(batch, count);
        // A piece of several that did not come is anyone's again.
        for (size_t i = 0; count > 1 && i < count; ++i) pieces_.Disown(batch[i].piece);
        if (outcome_ == Outcome::Ok) {
            TellRate(GetTickCount() - begin);
            span = NextSpan(received_, GetTickCount() - begin);
            continue;
        }
        if (count == 1) pieces_.Disown(batch[0].piece);
        if (outcome_ == Outcome::Cancelled || !MoveOn()) break;
    }
    exchange_.Close();
    pipe_.SenderDone();
}

// With nothing left to claim, an idle connection of exact pieces stays
// while others work, to take over one that falls far behind.
size_t Connection::ClaimOrTakeOver(uint64_t span, Batch& batch)
{
    for (;;) {
        if (size_t count = Claim(span, batch)) return count;
        if (!setup_.exact || cancel_.Raised() || pipe_.IsShut()) return 0;
        if (pieces_.TakeOver(static_cast<int>(slot_), span, batch[0].piece, batch[0].range)) return 1;
        if (!pieces_.WaitWhileUnfinished(kIdleLookMs)) return 0;
    }
}

void Connection::TellRate(DWORD elapsedMs)
{
    if (received_ >= kRateBytes || elapsedMs >= kRateMs)
        pieces_.Rate(static_cast<int>(slot_), std::max<uint64_t>(received_ * 1000 / std::max<DWORD>(elapsedMs, 1), 1));
}

size_t Connection::Claim(uint64_t span, Batch& batch)
{
    const int owner = static_cast<int>(slot_);
    if (Several()) return pieces_.ClaimSeveral(owner, span, setup_.connections, batch, kMaxRangesPerRequest);
    return pieces_.Claim(owner, span, batch[0].piece, batch[0].range) ? 1 : 0;
}

// The opening request, already sent, asked for one range.
bool Connection::Several() const
{
    return setup_.exact && !exchange_.IsOpen() && ((setup_.multipart & ~oneRange_) >> endpoint_ & 1) != 0;
}

Outcome Connection::Fetch(const Batch& batch, size_t count)
{
    if (!exchange_.IsOpen()) {
        // Connect may have closed an answer of no use, leaving the pieces to the next claims.
        if (Outcome outcome = Connect(batch, count); outcome != Outcome::Ok || !exchange_.IsOpen()) return outcome;
    }
    RequestBody body(exchange_.Request());
    const bool parts = count > 1 && exchange_.Boundary()[0] != '\0';
    received_ = 0;
    Outcome outcome = parts ? ReceiveParts(body, batch, count) : Receive(batch[0].piece, body);
    uint64_t asked = 0;
    for (size_t i = 0; i < count; ++i) asked += batch[i].range.to ? batch[i].range.to - batch[i].range.from : 0;
    // A piece taken over, or a whole body of which one piece was wanted,
    // leaves the rest of the answer unread.
    const bool rest = setup_.exact && (received_ < asked || exchange_.Status() == HTTP_STATUS_OK);
    if (outcome == Outcome::Ok && rest) exchange_.Abandon();
    else exchange_.Close();
    return outcome;
}

Outcome Connection::Connect(const Batch& batch, size_t count)
{
    const Target& target = *setup_.target;
    if (setup_.pace && setup_.pace->Waiting(endpoint_)) return Outcome::ServerFailed;
    ByteRange ranges[kMaxRangesPerRequest];
    for (size_t i = 0; i < count; ++i) ranges[i] = batch[i].range;
    if (!exchange_.Open(setup_.session, target.endpoints[endpoint_], target, ranges, count, setup_.version))
        return cancel_.Raised() ? Outcome::Cancelled : Outcome::NetworkFailed;
    if (count > 1 && exchange_.CarriesParts(setup_.version)) return Outcome::Ok;
    // Several ranges answered any other way: one range a request from now on.
    if (count > 1) oneRange_ |= 1u << endpoint_;
    if (exchange_.Carries(ranges[0], setup_.size, setup_.version)) return Outcome::Ok;
    // Any other answer, a 200, other bytes or another version among them,
    // makes this server no use for pieces; the next round's opening request
    // finds out whether the file changed.
    Outcome outcome = exchange_.Fits(setup_.size, Validator());
    if (outcome == Outcome::ServerFailed && setup_.pace) setup_.pace->Hold(endpoint_, exchange_.RetryAfterMs());
    exchange_.Close();
    if (count > 1 && outcome == Outcome::Ok) return Outcome::Ok;
    return outcome != Outcome::Ok ? outcome : Outcome::NetworkFailed;
}

// Each part exactly one of the ranges asked for, in their order; a server
// that answers otherwise is asked one range a request from then on.
Outcome Connection::ReceiveParts(BodyReader& body, const Batch& batch, size_t count)
{
    PartReader parts(body, exchange_.Boundary());
    for (size_t i = 0; i < count; ++i) {
        ContentRange range;
        if (!parts.NextPart(range) || range.first != batch[i].range.from || range.last + 1 != batch[i].range.to ||
            range.total != setup_.size) {
            oneRange_ |= 1u << endpoint_;
            return cancel_.Raised() ? Outcome::Cancelled : Outcome::Ok;
        }
        if (Outcome outcome = Receive(batch[i].piece, parts); outcome != Outcome::Ok) return outcome;
    }
    return Outcome::Ok;
}

Outcome Connection::Receive(size_t piece, BodyReader& body)
{
    DWORD want = kMinReadSize;
    for (;;) {
        DWORD size = pieces_.Reserve(piece, want);
        if (size == 0) return setup_.exact || BodyEnded() ? Outcome::Ok : Outcome::SizeChanged;
        char* buffer = pipe_.Acquire();
        if (!buffer) return Outcome::Cancelled;
        DWORD got = 0, before = GetTickCount();
        bool read = body.Read(buffer, size, got);
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
        received_ += got;
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
