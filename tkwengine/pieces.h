// The byte ranges a round still has to fetch, and which connection works on
// each. A connection asks for its piece a span at a time; an idle one takes
// a piece nobody owns, else the back half of what the largest has not asked
// for yet, so no connection idles while much remains. A request already sent
// keeps its bytes, unless its owner has fallen far behind: an idle
// connection much faster than the piece comes in takes over what has not
// arrived (TakeOver), and the one behind lets its request go. The rates are
// measured, over seconds, never guessed from one read, and a connection
// much slower than a piece's never splits it: no work goes back and forth
// between servers of like speed. Only written bytes count as present.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "tkwengine/byte_range.h"
#include "tkwengine/lock.h"
#include "tkwengine/written_bytes.h"

struct Piece {
    uint64_t written = 0;    // bytes before it are on disk
    uint64_t received = 0;   // bytes before it are handed to the writer
    uint64_t reserved = 0;   // bytes before it may be in an unfinished read
    uint64_t requested = 0;  // end of the range last asked for
    uint64_t end = 0;
    int owner = -1;
    bool used = false;
    bool batched = false;   // asked for with other pieces in one request
    DWORD since = 0;        // when its owner took it
    uint64_t sinceAt = 0;   // received then
};

// A piece claimed, and the range to ask for.
struct Claimed {
    size_t piece = 0;
    ByteRange range;
};

class PieceTable : public WrittenBytes {
public:
    // As many as the missing ranges a record keeps.
    static constexpr size_t kMaxPieces = 1024;
    // A piece open to the end of the body: one connection reading until it ends.
    static constexpr uint64_t kOpenEnd = UINT64_MAX;

    using Clock = DWORD(WINAPI*)();
    // How much faster a connection must be to take work over, and how long
    // a rate takes to be known.
    static constexpr uint64_t kFarBehind = 4;
    static constexpr DWORD kMeasureMs = 2000;

    explicit PieceTable(Clock clock = &GetTickCount) : clock_(clock) {}
    PieceTable(const PieceTable&) = delete;
    PieceTable& operator=(const PieceTable&) = delete;

    void Reset();
    // Adds [from, to), split into `parts` pieces nobody owns yet.
    bool Add(ByteRange range, size_t parts);
    // Adds a piece per range and one more for each spare connection, cut
    // from the ranges whose pieces are widest.
    void Spread(const ByteRange* ranges, size_t count, size_t connections);
    // The piece owner works on next (what it owns, one nobody owns, or a
    // split of the largest) and the range to ask for, at most span bytes
    // (kOpenEnd: the rest of the piece); false when none is left.
    bool Claim(int owner, uint64_t span, size_t& piece, ByteRange& range);
    // For a request of several ranges: whole pieces nobody owns, in file
    // order, up to capacity and as many as fit into span and into an even
    // share among connections of what nobody has asked for yet; else what
    // Claim gives (the owner's own piece first, a first piece larger than
    // that cut to span, a split of the largest). Returns how many.
    size_t ClaimSeveral(int owner, uint64_t span, size_t connections, Claimed* out, size_t capacity);
    // What the owner's last fetch came in at, bytes a second (0: not known).
    void Rate(int owner, uint64_t bytesPerSecond);
    // For an idle owner that Claim had nothing for: the rest of a piece whose
    // owner is far behind it (kFarBehind), cut where that one's read stops;
    // false when none is.
    bool TakeOver(int owner, uint64_t span, size_t& piece, ByteRange& range);
    // Waits up to ms for a piece to be written whole; false once all are.
    bool WaitWhileUnfinished(DWORD ms);
    // Up to want bytes the owner may read next; 0 when the range asked for is done.
    DWORD Reserve(size_t piece, DWORD want);
    // The file offset of the got bytes just received.
    uint64_t Received(size_t piece, DWORD got);
    // An open piece is done at the end of its body.
    void EndBody(size_t piece);
    void Written(size_t piece, DWORD size);
    void Disown(size_t piece);
    bool Complete() const;
    // [written, end) of each unfinished piece; returns how many.
    size_t Missing(ByteRange* out, size_t capacity) const override;
    // Every byte before it is on disk: where the first unfinished piece
    // stands, or the furthest written byte once none is unfinished.
    uint64_t WrittenPrefix() const override;

private:
    bool Unfinished(const Piece& piece) const { return piece.used && piece.written < piece.end; }
    bool Free(const Piece& piece) const { return Unfinished(piece) && piece.owner < 0 && piece.received < piece.end; }
    bool SplitLargest(int owner, size_t& piece);
    void Own(Piece& piece, int owner);
    // Bytes a second a piece has come in at since its owner took it; 0 until known.
    uint64_t PieceRate(const Piece& piece) const;
    uint64_t OwnerRate(int owner) const;
    size_t TakeFree(int owner, uint64_t budget, Claimed* out, size_t capacity);

    static constexpr size_t kMaxOwners = 8;

    Clock clock_;
    mutable CriticalLock lock_;
    Condition written_;
    Piece pieces_[kMaxPieces];
    uint64_t rates_[kMaxOwners] = {};
};
