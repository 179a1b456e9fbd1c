// One download job's course: local checks, what an older copy under the
// name gives, rounds until the file is whole (a transient failure tried
// again after a growing, jittered wait, and not before a server that asked
// for time is up, resuming from the bytes present), the hash checked when
// one was given (a bad copy fetched again from the next server), and the
// file closed under its own name.
#pragma once
#include <cstdint>

#include "tkwengine/job.h"
#include "tkwengine/outcome.h"

// done is the bytes present at the end. The file is closed when this
// returns: the program may start it the moment it hears Finished, and
// Windows refuses to run a file that any handle still holds open for writing.
Outcome Transfer(const Job& job, const JobLinks& links, uint64_t& done);
