#include "tkwengine/pieces.h"

#include <algorithm>
#include <iterator>
#include <numeric>

namespace {

// Smaller pieces cost a request each for little gain.
constexpr uint64_t kMinPiece = 1 << 20;
// Less than this left of a piece behind is not worth a new request.
constexpr uint64_t kMinTakeOver = 256 << 10;

Piece Fresh(uint64_t from, uint64_t end, int owner) { return Piece{from, from, from, from, end, owner, true}; }

}  // namespace

void PieceTable::Reset()
{
    Locked locked(lock_);
    std::fill(std::begin(pieces_), std::end(pieces_), Piece());
}

bool PieceTable::Add(ByteRange range, size_t parts)
{
    Locked locked(lock_);
    uint64_t length = range.to - range.from;
    for (size_t part = 0; part < parts; ++part) {
        Piece* slot = std::find_if(std::begin(pieces_), std::end(pieces_), [](const Piece& p) { return !p.used; });
        if (slot == std::end(pieces_)) return false;
        uint64_t from = range.from + length / parts * part;
        *slot = Fresh(from, part + 1 == parts ? range.to : from + length / parts, -1);
    }
    return true;
}

void PieceTable::Spread(const ByteRange* ranges, size_t count, size_t connections)
{
    size_t parts[kMaxPieces];
    count = std::min(count, kMaxPieces);
    std::fill(parts, parts + count, size_t{1});
    auto share = [&](size_t i) { return (ranges[i].to - ranges[i].from) / parts[i]; };
    for (size_t spare = connections > count ? connections - count : 0; count > 0 && spare > 0; --spare) {
        size_t widest = 0;
        for (size_t i = 1; i < count; ++i)
            if (share(i) > share(widest)) widest = i;
        ++parts[widest];
    }
    for (size_t i = 0; i < count; ++i) Add(ranges[i], parts[i]);
}

bool PieceTable::Claim(int owner, uint64_t span, size_t& piece, ByteRange& range)
{
    Locked locked(lock_);
    auto pick = [&](bool mine) {
        for (size_t i = 0; i < kMaxPieces; ++i)
            if (Unfinished(pieces_[i]) && pieces_[i].received < pieces_[i].end &&
                pieces_[i].owner == (mine ? owner : -1)) {
                piece = i;
                return true;
            }
        return false;
    };
    if (!pick(true) && !pick(false) && !SplitLargest(owner, piece)) return false;
    Piece& claimed = pieces_[piece];
    if (claimed.owner != owner) Own(claimed, owner);
    claimed.batched = false;
    bool whole = claimed.end == kOpenEnd || span >= claimed.end - claimed.received;
    claimed.requested = whole ? claimed.end : claimed.received + span;
    range = {claimed.received, claimed.end == kOpenEnd ? 0 : claimed.requested};
    return true;
}

size_t PieceTable::ClaimSeveral(int owner, uint64_t span, size_t connections, Claimed* out, size_t capacity)
{
    {
        Locked locked(lock_);
        const bool owns = std::any_of(std::begin(pieces_), std::end(pieces_), [&](const Piece& p) {
            return Unfinished(p) && p.owner == owner && p.received < p.end;
        });
        const uint64_t unasked = std::accumulate(std::begin(pieces_), std::end(pieces_), uint64_t{0},
                                                 [this](uint64_t sum, const Piece& p) {
                                                     return Free(p) ? sum + (p.end - p.received) : sum;
                                                 });
        const uint64_t share = std::max<uint64_t>(unasked / std::max<size_t>(connections, 1), 1);
        if (!owns && capacity > 1)
            if (size_t count = TakeFree(owner, std::min(span, share), out, capacity)) return count;
    }
    return capacity > 0 && Claim(owner, span, out[0].piece, out[0].range) ? 1 : 0;
}

// Whole free pieces from the first in the file on; none when even the first is over budget.
size_t PieceTable::TakeFree(int owner, uint64_t budget, Claimed* out, size_t capacity)
{
    size_t order[kMaxPieces], free = 0;
    for (size_t i = 0; i < kMaxPieces; ++i)
        if (Free(pieces_[i]) && pieces_[i].end != kOpenEnd) order[free++] = i;
    std::sort(order, order + free, [this](size_t a, size_t b) { return pieces_[a].received < pieces_[b].received; });
    size_t count = 0;
    for (uint64_t taken = 0; count < free && count < capacity; ++count) {
        Piece& p = pieces_[order[count]];
        taken += p.end - p.received;
        if (taken > budget) break;
        Own(p, owner);
        p.batched = true;
        p.requested = p.end;
        out[count] = {order[count], {p.received, p.end}};
    }
    return count;
}

bool PieceTable::SplitLargest(int owner, size_t& piece)
{
    auto unasked = [this](const Piece& p) {
        return Unfinished(p) && p.end != kOpenEnd ? p.end - std::max(p.requested, p.reserved) : 0;
    };
    Piece* largest = std::max_element(std::begin(pieces_), std::end(pieces_),
                                      [&](const Piece& a, const Piece& b) { return unasked(a) < unasked(b); });
    // A finished piece's slot is free once its owner has let go of it.
    Piece* slot = std::find_if(std::begin(pieces_), std::end(pieces_),
                               [this](const Piece& p) { return !Unfinished(p) && p.owner < 0; });
    if (slot == std::end(pieces_) || unasked(*largest) < 2 * kMinPiece) return false;
    // A connection far behind the piece's own would only slow it down.
    const uint64_t mine = OwnerRate(owner), theirs = largest->owner >= 0 ? PieceRate(*largest) : 0;
    if (mine && theirs && mine * kFarBehind < theirs) return false;
    uint64_t middle = largest->end - unasked(*largest) / 2;
    *slot = Fresh(middle, largest->end, owner);
    largest->end = middle;
    piece = static_cast<size_t>(slot - pieces_);
    return true;
}

void PieceTable::Rate(int owner, uint64_t bytesPerSecond)
{
    Locked locked(lock_);
    if (owner >= 0 && static_cast<size_t>(owner) < kMaxOwners) rates_[owner] = bytesPerSecond;
}

bool PieceTable::TakeOver(int owner, uint64_t span, size_t& piece, ByteRange& range)
{
    Locked locked(lock_);
    const uint64_t mine = OwnerRate(owner);
    auto left = [](const Piece& p) { return p.end - std::max(p.reserved, p.received); };
    Piece* behind = nullptr;
    for (Piece& p : pieces_) {
        if (!Unfinished(p) || p.owner < 0 || p.owner == owner || p.batched || p.end == kOpenEnd) continue;
        const uint64_t theirs = PieceRate(p);
        if (clock_() - p.since < kMeasureMs || left(p) < kMinTakeOver || theirs * kFarBehind >= mine) continue;
        if (!behind || left(p) > left(*behind)) behind = &p;
    }
    Piece* slot = std::find_if(std::begin(pieces_), std::end(pieces_),
                               [this](const Piece& p) { return !Unfinished(p) && p.owner < 0; });
    if (!mine || !behind || slot == std::end(pieces_)) return false;
    // Bytes already in the read it waits on are still its own.
    const uint64_t cut = std::max(behind->reserved, behind->received);
    *slot = Fresh(cut, behind->end, owner);
    Own(*slot, owner);
    behind->end = cut;
    behind->requested = std::min(behind->requested, cut);
    slot->requested = span >= slot->end - cut ? slot->end : cut + span;
    piece = static_cast<size_t>(slot - pieces_);
    range = {cut, slot->requested};
    return true;
}

void PieceTable::Own(Piece& piece, int owner)
{
    piece.owner = owner;
    piece.since = clock_();
    piece.sinceAt = piece.received;
}

uint64_t PieceTable::PieceRate(const Piece& piece) const
{
    const DWORD elapsed = clock_() - piece.since;
    return elapsed < kMeasureMs ? 0 : (piece.received - piece.sinceAt) * 1000 / elapsed;
}

uint64_t PieceTable::OwnerRate(int owner) const
{
    return owner >= 0 && static_cast<size_t>(owner) < kMaxOwners ? rates_[owner] : 0;
}

DWORD PieceTable::Reserve(size_t piece, DWORD want)
{
    Locked locked(lock_);
    Piece& p = pieces_[piece];
    DWORD size = static_cast<DWORD>(std::min<uint64_t>(want, std::min(p.end, p.requested) - p.received));
    p.reserved = p.received + size;
    if (p.received == p.end) p.owner = -1;
    return size;
}

uint64_t PieceTable::Received(size_t piece, DWORD got)
{
    Locked locked(lock_);
    Piece& p = pieces_[piece];
    uint64_t offset = p.received;
    p.received += got;
    p.reserved = std::max(p.reserved, p.received);
    return offset;
}

void PieceTable::EndBody(size_t piece)
{
    Locked locked(lock_);
    Piece& p = pieces_[piece];
    p.end = p.reserved = p.requested = p.received;
}

void PieceTable::Written(size_t piece, DWORD size)
{
    bool whole = false;
    {
        Locked locked(lock_);
        Piece& p = pieces_[piece];
        p.written += size;
        whole = p.written == p.end;
    }
    if (whole) written_.WakeAll();
}

bool PieceTable::WaitWhileUnfinished(DWORD ms)
{
    Locked locked(lock_);
    auto unfinished = [this] { return std::any_of(std::begin(pieces_), std::end(pieces_), [this](const Piece& p) {
                                   return Unfinished(p);
                               }); };
    if (unfinished()) locked.Wait(written_, ms);
    return unfinished();
}

void PieceTable::Disown(size_t piece)
{
    Locked locked(lock_);
    Piece& p = pieces_[piece];
    p.owner = -1;
    p.reserved = p.requested = p.received;
}

bool PieceTable::Complete() const
{
    Locked locked(lock_);
    return std::none_of(std::begin(pieces_), std::end(pieces_), [this](const Piece& p) { return Unfinished(p); });
}

size_t PieceTable::Missing(ByteRange* out, size_t capacity) const
{
    Locked locked(lock_);
    size_t count = 0;
    for (const Piece& p : pieces_)
        if (Unfinished(p) && count < capacity) out[count++] = {p.written, p.end};
    return count;
}

uint64_t PieceTable::WrittenPrefix() const
{
    Locked locked(lock_);
    uint64_t first = kOpenEnd, furthest = 0;
    for (const Piece& p : pieces_) {
        if (Unfinished(p)) first = std::min(first, p.written);
        if (p.used) furthest = std::max(furthest, p.written);
    }
    return first != kOpenEnd ? first : furthest;
}
