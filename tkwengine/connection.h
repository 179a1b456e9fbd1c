// One connection of a round, on a thread of its own: it claims a span of a
// piece at a time, asks its server for it and hands what arrives to the
// chunk pipe; a server that fails it is left for the next one. Of a server
// known to answer several ranges in one request (multipart/byteranges) it
// asks for several pieces at once, until an answer is anything else.
#pragma once
#include <cstddef>

#include "tkwengine/body_reader.h"
#include "tkwengine/cancel_signal.h"
#include "tkwengine/chunk_pipe.h"
#include "tkwengine/exchange.h"
#include "tkwengine/outcome.h"
#include "tkwengine/pieces.h"
#include "tkwengine/round_setup.h"
#include "tkwengine/thread_guard.h"

class Connection {
public:
    // exchange may hold the opening request already, for the span slot claimed.
    Connection(const RoundSetup& setup, PieceTable& pieces, ChunkPipe& pipe, const CancelSignal& cancel,
               Exchange& exchange, size_t slot);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Starts on endpoint; a connection that cannot start is done sending.
    void Start(size_t endpoint);
    void Join() { thread_.Join(INFINITE); }
    // What its last fetch ended in; read once joined.
    Outcome LastOutcome() const { return outcome_; }
    // A bit per server that sent bytes (ServerChoice's sources); read once joined.
    uint32_t Sources() const { return sources_; }

private:
    using Batch = Claimed[kMaxRangesPerRequest];

    void Run();
    size_t Claim(uint64_t span, Batch& batch);
    size_t ClaimOrTakeOver(uint64_t span, Batch& batch);
    void TellRate(DWORD elapsedMs);
    bool Several() const;
    Outcome Fetch(const Batch& batch, size_t count);
    Outcome Connect(const Batch& batch, size_t count);
    Outcome Receive(size_t piece, BodyReader& body);
    Outcome ReceiveParts(BodyReader& body, const Batch& batch, size_t count);
    bool BodyEnded();
    bool MoveOn();

    const RoundSetup& setup_;
    PieceTable& pieces_;
    ChunkPipe& pipe_;
    const CancelSignal& cancel_;
    Exchange& exchange_;
    const size_t slot_;
    size_t endpoint_ = 0;
    uint64_t received_ = 0;  // by the fetch under way
    bool failed_[Target::kMaxEndpoints] = {};
    uint32_t oneRange_ = 0;  // a bit per server whose answer to several ranges was not their parts
    Outcome outcome_ = Outcome::Ok;
    uint32_t sources_ = 0;
    ThreadGuard thread_;  // last: joined before what it uses goes
};
