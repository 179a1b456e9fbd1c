// A file's download across rounds: where its bytes go (the file itself, or
// its side files while several connections fetch it), what each round's
// opening request asks for, and how the answer decides the way.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/win_handles.h"
#include "tkwengine/exchange.h"
#include "tkwengine/job.h"
#include "tkwengine/local_file.h"
#include "tkwengine/outcome.h"
#include "tkwengine/pieces.h"
#include "tkwengine/resume_state.h"
#include "tkwengine/round.h"

class Download {
public:
    Download(const Job& job, const JobLinks& links);
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;

    // Local checks; done is the bytes present, complete that none are missing.
    Outcome Prepare(uint64_t& done, bool& complete);
    // One round; done follows the bytes present. Ok once every byte is written.
    Outcome RunRound(uint64_t& done);
    // Closes the whole file under its own name.
    Outcome Finish();

private:
    struct Plan {
        ResumeState missing;
        uint64_t present = 0;
        size_t connections = 1;
        bool resuming = false;  // side files of an earlier run
        bool split = false;     // pieces asked by exact ranges, into the side files
    };

    bool Splittable() const;
    Outcome MakePlan(Plan& plan);
    Outcome OpenAnywhere(ByteRange range, Exchange& exchange, size_t& endpoint);
    Outcome OpenRound(const Plan& plan, PieceTable& pieces, Exchange& opening, RoundSetup& setup, uint64_t& done);
    Outcome UseSideFiles(const Plan& plan);
    Outcome UseTarget(const Exchange& exchange, const Plan& plan, uint64_t& start);
    void ReportStarted(uint64_t present);

    const Job& job_;
    JobLinks links_;
    InetHandle session_;
    SideFiles side_;
    bool sideNamed_ = false;
    TargetFile file_;  // where this round's bytes go
    StateFile state_;
    bool split_ = false;
    bool started_ = false;
};
