// One pass over what is missing of a file: up to four connections receive
// their pieces on threads of their own while the job's thread writes what
// they deliver, reports progress and keeps the resume state.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/win_handles.h"
#include "tkwengine/engine.h"
#include "tkwengine/exchange.h"
#include "tkwengine/local_file.h"
#include "tkwengine/outcome.h"
#include "tkwengine/pieces.h"
#include "tkwengine/resume_state.h"

// A connection asks for about four seconds' worth of its link at a time:
// each request costs a round trip and a new TCP window, while what is asked
// for is out of reach of a steal.
constexpr uint64_t kFirstSpan = 16ull << 20;

struct RoundSetup {
    HINTERNET session = nullptr;
    const Target* target = nullptr;
    // Size of the whole file when every piece is asked by its exact range;
    // 0 for one connection reading one body to its end.
    uint64_t exactSize = 0;
    size_t connections = 1;
    size_t firstEndpoint = 0;  // where the opening request was answered
    StateFile* state = nullptr;
};

class Round {
public:
    // exchanges[0] holds the opening request, for the span slot 0 claimed.
    Round(Engine& engine, TargetFile& file, PieceTable& pieces, Exchange (&exchanges)[CancelGate::kSlots],
          const RoundSetup& setup);
    Round(const Round&) = delete;
    Round& operator=(const Round&) = delete;

    // Ok once every piece is written; present follows the bytes present.
    Outcome Run(uint64_t& present);

private:
    struct Connection {
        Round* round = nullptr;
        size_t slot = 0;
        size_t endpoint = 0;
        bool failed[Target::kMaxEndpoints] = {};
        Outcome outcome = Outcome::Ok;  // of its last fetch
        KernelHandle thread;
    };

    static DWORD WINAPI ConnectionMain(void* connection);
    void Serve(Connection& connection);
    Outcome Fetch(const Connection& connection, size_t piece, ByteRange range);
    Outcome Connect(const Connection& connection, ByteRange range);
    Outcome Receive(const Exchange& exchange, size_t piece);
    bool MoveOn(Connection& connection);
    void Launch();
    Outcome Drain(uint64_t& present);
    void SaveState();
    Outcome ConnectionsOutcome() const;

    Engine& engine_;
    TargetFile& file_;
    PieceTable& pieces_;
    Exchange (&exchanges_)[CancelGate::kSlots];
    RoundSetup setup_;
    Connection connections_[CancelGate::kSlots];
};
