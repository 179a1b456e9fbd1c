// A file's block index, fetched with the engine's own requests (redirects,
// budgets, cancel) from its server, then the mirrors, and kept only when it
// is intact, within its bounds and of the job's file: its size and hash.
// Its request also tells whether the server answers several ranges in one
// request: it asks for all of the index but four bytes of its magic, which
// the reader knows, in two ranges. A server that ignores several ranges
// sends the whole index, a small body; under Wine, closing a request reads
// what is left of its body, so a file's own request is no way to find out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/block_index.h"
#include "tkwengine/job.h"
#include "tkwengine/outcome.h"

struct FetchedIndex {
    std::unique_ptr<uint8_t[]> bytes;  // what index points into
    size_t size = 0;
    BlockIndex index;
    uint32_t multipart = 0;  // a bit per endpoint of the job's file known to answer several ranges
};

// Ok with a usable index; Cancelled; any other outcome for none, which the
// job passes over without a word.
Outcome FetchIndex(const JobLinks& links, const Job& job, FetchedIndex& out);
