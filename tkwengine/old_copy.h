// What an older copy under a file's name shares with the file, copied into
// the part file before a byte of the file is fetched: each block its index
// names is looked for at any offset of the copy, and the program hears how
// far the comparison got. The copy itself is only read.
#pragma once
#include "common/block_index.h"
#include "tkwengine/block_map.h"
#include "tkwengine/job.h"
#include "tkwengine/local_file.h"
#include "tkwengine/outcome.h"
#include "tkwengine/round_setup.h"

// Writes each block of index found in the copy at path that map does not
// hold yet into part at the block's offset, and marks it in map; a
// follower keeps the record of setup and follows the hash meanwhile. Ok
// (whole telling whether the copy was compared to its end, a copy that
// cannot be read counting as none), Cancelled, or a write's failure.
Outcome CopyOldBlocks(const JobLinks& links, const char* path, const BlockIndex& index, const RoundSetup& setup,
                      PartFile& part, BlockMap& map, bool& whole);
