// One pass over what is missing of a file: up to four connections receive
// their pieces on threads of their own while the job's thread writes what
// they deliver and reports progress, and a follower keeps the resume state
// and hashes the written prefix.
#pragma once
#include <cstdint>
#include <optional>

#include "tkwengine/connection.h"
#include "tkwengine/exchange.h"
#include "tkwengine/follower.h"
#include "tkwengine/job.h"
#include "tkwengine/local_file.h"
#include "tkwengine/outcome.h"
#include "tkwengine/pieces.h"
#include "tkwengine/request_registry.h"
#include "tkwengine/round_setup.h"
#include "tkwengine/written_bytes.h"

class Round {
public:
    // exchanges[0] holds the opening request, for the span slot 0 claimed.
    Round(const JobLinks& links, PartFile& file, PieceTable& pieces, Exchange (&exchanges)[RequestRegistry::kSlots],
          const RoundSetup& setup);
    Round(const Round&) = delete;
    Round& operator=(const Round&) = delete;

    // Ok once every piece is written; present follows the bytes present.
    Outcome Run(uint64_t& present);
    // A bit per server that sent bytes (ServerChoice's sources); read after Run.
    uint32_t Sources() const;

private:
    void Launch();
    Outcome Drain(uint64_t& present);
    Outcome ConnectionsOutcome() const;

    JobLinks links_;
    PartFile& file_;
    PieceTable& pieces_;
    Exchange (&exchanges_)[RequestRegistry::kSlots];
    RoundSetup setup_;
    std::optional<Connection> connections_[RequestRegistry::kSlots];
    Follower follower_;
};

// Keeps what is on disk: the part file's bytes flushed first, then the
// record that claims them, so a record never claims a byte the disk may not
// hold. Nothing when no record is kept.
bool SaveState(const RoundSetup& setup, PartFile& part, const WrittenBytes& written);
