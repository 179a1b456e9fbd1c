// A file's download across rounds: every byte goes into its side files and
// the file takes its own name only when whole (and, with a hash, only with
// the publisher's bytes); what an older copy under the name gives first,
// what each round's opening request asks for, and how the answer decides
// the way.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/block_index.h"
#include "common/win_handles.h"
#include "tkwengine/exchange.h"
#include "tkwengine/job.h"
#include "tkwengine/local_file.h"
#include "tkwengine/outcome.h"
#include "tkwengine/pieces.h"
#include "tkwengine/prefix_hash.h"
#include "tkwengine/resume_state.h"
#include "tkwengine/retry_pace.h"
#include "tkwengine/round.h"
#include "tkwengine/server_choice.h"

// The connections a file of size bytes is fetched over at most.
size_t ConnectionsAtMost(uint64_t size);

class Download {
public:
    Download(const Job& job, const JobLinks& links);
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;

    // Local checks; done is the bytes present, complete that the file is
    // there whole (with the file's hash, when one was given).
    Outcome Prepare(uint64_t& done, bool& complete);
    // Before the first round, with the file's block index: the blocks an
    // older copy under the name shares with the file go into the part file
    // (beside what the side files of an earlier run hold), and the record
    // keeps the rest as missing. Ok too when there is nothing to compare or
    // the index is of no use; Cancelled, or a write's failure.
    Outcome Reuse();
    // One round; done follows the bytes present. Ok once every byte is written.
    Outcome RunRound(uint64_t& done);
    // Checks the hash of the size bytes written and gives them the file's
    // name; StartAgain when the copy failed the check and a server is left.
    Outcome Finish(uint64_t size);
    // The program hears Started once for the file, with the bytes present.
    void ReportStarted(uint64_t present);
    // How long to wait before the next round after failures failed rounds in a row.
    DWORD RetryPause(int failures) { return pace_.PauseBefore(failures, job_.target.count); }

private:
    struct Plan {
        ResumeState kept;  // the missing ranges, and what the kept bytes are of
        uint64_t present = 0;
        size_t connections = 1;
        bool resuming = false;  // side files of an earlier round
        bool split = false;     // pieces asked by exact ranges
    };

    bool Verified() const { return job_.sha256[0] != '\0'; }
    bool Splittable() const;
    bool Trusted(ResumeState& kept) const;
    Outcome CheckLocalFile(bool& matches);
    Outcome Verify(uint64_t size, bool& matches);
    Outcome CompareOldCopy(const BlockIndex& index, bool resuming, ResumeState& kept);
    void MakePlan(Plan& plan);
    Outcome OpenAnywhere(ByteRange range, const Plan& plan, Exchange& exchange, size_t& endpoint);
    Outcome OpenRound(const Plan& plan, PieceTable& pieces, Exchange& opening, RoundSetup& setup, uint64_t& done);
    Outcome StartSplitAfresh(const Exchange& opening, PieceTable& pieces, RoundSetup& setup, uint64_t& done);
    Outcome UseSideFiles(RoundSetup& setup, const PieceTable& pieces, bool fromZero);
    bool FollowPart(bool fromZero);
    void DropSideFiles();
    Outcome StartAgainAfterChange();
    Outcome PassBadCopy();

    const Job& job_;
    JobLinks links_;
    ServerChoice servers_;
    RetryPace pace_;
    PartFile part_;  // where the bytes go
    StateFile state_;
    PrefixHash hash_;
    uint32_t sources_ = 0;     // of the copy in the part file (ServerChoice's sources)
    bool ownRecord_ = false;   // a record this job wrote: trusted without a version
    uint32_t multipart_ = 0;   // servers known to answer several ranges in one request (RoundSetup)
    bool compared_ = false;    // the older copy under the name was compared to its end
    bool restarted_ = false;   // for a change on the server, which happens once
    bool splitAfresh_ = false; // once: a server that sends every range whole gets one body next
    bool started_;
};
