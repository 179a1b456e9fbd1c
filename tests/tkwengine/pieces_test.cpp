// The piece table alone: how missing ranges become pieces, what connections
// claim and steal, and the last bytes of a piece.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "tkwengine/pieces.h"

namespace {

constexpr uint64_t M = 1 << 20;
constexpr uint64_t kLetGo = 0;  // as a claim's span: the owner lets go of its last piece instead
using Spans = std::vector<std::pair<uint64_t, uint64_t>>;

Spans MissingOf(const PieceTable& pieces)
{
    ByteRange missing[PieceTable::kMaxPieces];
    Spans spans;
    for (size_t i = 0, count = pieces.Missing(missing, PieceTable::kMaxPieces); i < count; ++i)
        spans.push_back({missing[i].from, missing[i].to});
    return spans;
}

TEST(PieceTable, SpreadsTheConnectionsOverTheMissingRanges)
{
    struct Row {
        std::vector<ByteRange> ranges;
        size_t connections;
        Spans pieces;
    } const rows[] = {
        {{{0, 100}}, 1, {{0, 100}}},
        {{{0, 100}}, 4, {{0, 25}, {25, 50}, {50, 75}, {75, 100}}},
        {{{0, 10}}, 3, {{0, 3}, {3, 6}, {6, 10}}},  // the last piece takes the remainder
        {{{0, 90}, {200, 210}}, 4, {{0, 30}, {30, 60}, {60, 90}, {200, 210}}},
        {{{0, 10}, {20, 100}}, 3, {{0, 10}, {20, 60}, {60, 100}}},
        {{{0, 40}, {50, 100}, {120, 130}}, 2, {{0, 40}, {50, 100}, {120, 130}}},
    };
    for (const Row& row : rows) {
        PieceTable pieces;
        pieces.Spread(row.ranges.data(), row.ranges.size(), row.connections);
        EXPECT_EQ(row.pieces, MissingOf(pieces)) << row.connections << " connections, " << row.pieces.size() << " pieces";
    }
}

// A connection claims its own piece, else one nobody owns, else the back half
// of what the largest piece has not asked for yet: never less than two
// minimum pieces, never from an open end.
TEST(PieceTable, ClaimsItsOwnThenAFreePieceThenSteals)
{
    struct Claim {
        int owner;
        uint64_t span;
        Spans asked;  // the range claimed; none when nothing is left
    };
    struct Row {
        const char* name;
        ByteRange range;
        size_t parts;
        std::vector<Claim> claims;
    } const rows[] = {
        {"own, then free", {0, 8 * M}, 2, {{0, 16 * M, {{0, 4 * M}}}, {1, 16 * M, {{4 * M, 8 * M}}},
                                           {0, 16 * M, {{0, 4 * M}}}, {2, 16 * M, {}}}},
        {"steals", {0, 8 * M}, 1, {{0, 2 * M, {{0, 2 * M}}}, {1, 16 * M, {{5 * M, 8 * M}}},
                                   {2, M, {{3 * M + M / 2, 4 * M + M / 2}}}, {3, 16 * M, {}}}},
        {"open end", {0, PieceTable::kOpenEnd}, 1, {{0, 16 * M, {{0, 0}}}, {1, 16 * M, {}}}},
        {"let go", {0, 4 * M}, 1, {{0, 16 * M, {{0, 4 * M}}}, {0, kLetGo, {}}, {1, 16 * M, {{0, 4 * M}}}}},
    };
    for (const Row& row : rows) {
        PieceTable pieces;
        ASSERT_TRUE(pieces.Add(row.range, row.parts)) << row.name;
        size_t piece = 0;
        for (const Claim& claim : row.claims) {
            if (claim.span == kLetGo) {
                pieces.Disown(piece);
                continue;
            }
            ByteRange range;
            Spans asked;
            if (pieces.Claim(claim.owner, claim.span, piece, range)) asked.push_back({range.from, range.to});
            EXPECT_EQ(claim.asked, asked) << row.name << ", owner " << claim.owner;
        }
    }
}

// For one request of several ranges: whole free pieces in file order, an
// even share of what nobody has asked for among the connections, at most
// the capacity; else a single claim (the first piece cut to the span).
TEST(PieceTable, ClaimsSeveralWholePiecesForOneRequest)
{
    struct Claim {
        int owner;
        Spans asked;
    };
    std::vector<ByteRange> many;
    Spans first32;
    for (uint64_t i = 0; i < 40; ++i) many.push_back({i * 20, i * 20 + 10});
    for (size_t i = 0; i < 32; ++i) first32.push_back({many[i].from, many[i].to});
    struct Row {
        const char* name;
        std::vector<ByteRange> ranges;
        uint64_t span;
        size_t connections;
        std::vector<Claim> claims;
    } const rows[] = {
        {"shares", {{60, 70}, {0, 10}, {40, 50}, {20, 30}}, 16 * M, 2,
         {{0, {{0, 10}, {20, 30}}}, {1, {{40, 50}}}, {2, {{60, 70}}}, {3, {}}}},
        {"at most the capacity", many, 16 * M, 1, {{0, first32}}},
        {"a first piece over the span", {{0, 100}, {200, 210}}, 50, 1, {{0, {{0, 50}}}, {1, {{200, 210}}}}},
    };
    for (const Row& row : rows) {
        PieceTable pieces;
        pieces.Spread(row.ranges.data(), row.ranges.size(), 1);
        for (const Claim& claim : row.claims) {
            Claimed claimed[32];
            Spans asked;
            const size_t count = pieces.ClaimSeveral(claim.owner, row.span, row.connections, claimed, 32);
            for (size_t i = 0; i < count; ++i) asked.push_back({claimed[i].range.from, claimed[i].range.to});
            EXPECT_EQ(claim.asked, asked) << row.name << ", owner " << claim.owner;
        }
    }
}

// A piece is read a reservation at a time, up to the span asked for and its
// end, and counts as present, and before the written prefix's end, only
// once written.
DWORD g_now = 0;
DWORD WINAPI FakeClock() { return g_now; }

// Receives bytes of a piece as its owner would.
void Arrive(PieceTable& pieces, size_t piece, DWORD bytes)
{
    while (bytes > 0) {
        const DWORD got = std::min<DWORD>(bytes, pieces.Reserve(piece, bytes));
        if (got == 0) return;
        pieces.Received(piece, got);
        pieces.Written(piece, got);
        bytes -= got;
    }
}

// An idle connection takes over the rest of a piece whose owner has come in
// far slower (measured over seconds), cut where that one's read stops; not
// from one of like speed, not before the rate is known, not a small rest;
// and the one behind never splits the faster one's piece back.
TEST(PieceTable, AFarFasterIdleConnectionTakesOverWhatIsBehind)
{
    struct Row {
        const char* name;
        DWORD after;          // ms since the slow owner took its piece
        uint64_t slowBytes;   // it received by then
        uint64_t fastRate;    // what the idle one's last fetch came in at; 0: unknown
        uint64_t pieceSize;
        bool takes;
    } const rows[] = {
        {"far behind", 3000, 60000, 40 * M, 4 * M, true},
        {"stalled", 3000, 0, 40 * M, 4 * M, true},
        {"not measured yet", 1500, 1000, 40 * M, 4 * M, false},
        {"alike", 3000, 30 * M, 40 * M, 64 * M, false},
        {"rate of the idle one unknown", 3000, 60000, 0, 4 * M, false},
        {"too little left", 3000, 60000, 40 * M, 300 << 10, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_now = 1000;
        PieceTable pieces(&FakeClock);
        pieces.Add({0, 2 * row.pieceSize}, 2);
        size_t slow = 0, fast = 0, piece = 0;
        ByteRange range;
        ASSERT_TRUE(pieces.Claim(0, 64 * M, slow, range));
        ASSERT_TRUE(pieces.Claim(1, 64 * M, fast, range));
        Arrive(pieces, fast, static_cast<DWORD>(row.pieceSize));
        pieces.Rate(1, row.fastRate);
        Arrive(pieces, slow, static_cast<DWORD>(row.slowBytes));
        pieces.Reserve(slow, 4096);  // a read on its way
        g_now += row.after;
        ASSERT_EQ(row.takes, pieces.TakeOver(1, M, piece, range));
        if (!row.takes) continue;
        const uint64_t cut = row.slowBytes + 4096;
        EXPECT_EQ(cut, range.from);
        EXPECT_EQ(cut + M, range.to);
        Arrive(pieces, slow, 8192);  // its read lands, and its piece ends there
        EXPECT_EQ(0u, pieces.Reserve(slow, 4096));
        pieces.Rate(0, std::max<uint64_t>(1, row.slowBytes * 1000 / row.after));  // measured, if at nothing
        Arrive(pieces, piece, 512 << 10);
        g_now += 3000;
        size_t other = 0;
        EXPECT_FALSE(pieces.Claim(0, 64 * M, other, range));
    }
}

TEST(PieceTable, ReadsAPieceToItsLastByte)
{
    struct Row {
        ByteRange range;
        uint64_t span;
        DWORD want;
        std::vector<DWORD> reads;
    } const rows[] = {
        {{0, 10}, 16 * M, 4, {4, 4, 2}},
        {{0, 10}, 6, 4, {4, 2}},  // the span asked for ends first
        {{5, 12}, 16 * M, 7, {7}},
        {{3, 4}, 16 * M, 4096, {1}},
        {{0, 10}, PieceTable::kOpenEnd, 4, {4, 4, 2}},  // the whole piece, as one body reads it
    };
    for (const Row& row : rows) {
        PieceTable pieces;
        pieces.Add(row.range, 1);
        size_t piece = 0;
        ByteRange asked;
        ASSERT_TRUE(pieces.Claim(0, row.span, piece, asked));
        std::vector<DWORD> reads;
        uint64_t offset = asked.from;
        for (DWORD size = 0; (size = pieces.Reserve(piece, row.want)) != 0; offset += size) {
            EXPECT_EQ(offset, pieces.Received(piece, size));
            reads.push_back(size);
        }
        EXPECT_EQ(row.reads, reads) << row.range.from << "-" << row.range.to << " asked to " << asked.to;
        EXPECT_FALSE(pieces.Complete());  // received, not written
        EXPECT_EQ(asked.from, pieces.WrittenPrefix());
        pieces.Written(piece, static_cast<DWORD>(offset - asked.from));
        EXPECT_EQ(offset, pieces.WrittenPrefix());
        EXPECT_EQ(offset == row.range.to, pieces.Complete());
        EXPECT_EQ((offset == row.range.to ? Spans{} : Spans{{offset, row.range.to}}), MissingOf(pieces));
    }
}

TEST(PieceTable, AnOpenPieceEndsWithItsBody)
{
    PieceTable pieces;
    pieces.Add({0, PieceTable::kOpenEnd}, 1);
    size_t piece = 0;
    ByteRange asked;
    ASSERT_TRUE(pieces.Claim(0, 16 * M, piece, asked));
    EXPECT_EQ(4096u, pieces.Reserve(piece, 4096));
    pieces.Received(piece, 1000);
    pieces.EndBody(piece);
    EXPECT_EQ(0u, pieces.Reserve(piece, 4096));
    pieces.Written(piece, 1000);
    EXPECT_TRUE(pieces.Complete());
}

}  // namespace
