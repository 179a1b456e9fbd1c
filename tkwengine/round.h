// One pass over what is missing of a file: up to four connections receive
// their pieces on threads of their own while the job's thread writes what
// they deliver, reports progress and keeps the resume state.
#pragma once
#include <cstdint>
#include <optional>

#include "tkwengine/connection.h"
#include "tkwengine/exchange.h"
#include "tkwengine/job.h"
#include "tkwengine/local_file.h"
#include "tkwengine/outcome.h"
#include "tkwengine/pieces.h"
#include "tkwengine/request_registry.h"
#include "tkwengine/round_setup.h"

class Round {
public:
    // exchanges[0] holds the opening request, for the span slot 0 claimed.
    Round(const JobLinks& links, TargetFile& file, PieceTable& pieces, Exchange (&exchanges)[RequestRegistry::kSlots],
          const RoundSetup& setup);
    Round(const Round&) = delete;
    Round& operator=(const Round&) = delete;

    // Ok once every piece is written; present follows the bytes present.
    Outcome Run(uint64_t& present);

private:
    void Launch();
    Outcome Drain(uint64_t& present);
    void SaveState();
    Outcome ConnectionsOutcome() const;

    JobLinks links_;
    TargetFile& file_;
    PieceTable& pieces_;
    Exchange (&exchanges_)[RequestRegistry::kSlots];
    RoundSetup setup_;
    std::optional<Connection> connections_[RequestRegistry::kSlots];
};
