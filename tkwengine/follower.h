// A thread behind the writer of a round, or of an older copy's blocks. At
// the setup's interval (about once a second) it saves the resume state: the
// part file's bytes flushed through a handle of its own, then the record
// that claims them, so the writer never waits for the disk.
// With a hash to check, in between it hashes the written prefix as it grows
// (pieces arrive out of order: the bytes before the first unfinished one),
// so little is left to hash once the last byte lands.
#pragma once
#include <windows.h>

#include "common/win_handles.h"
#include "tkwengine/local_file.h"
#include "tkwengine/round_setup.h"
#include "tkwengine/thread_guard.h"
#include "tkwengine/written_bytes.h"

class Follower {
public:
    Follower(const RoundSetup& setup, const WrittenBytes& written);
    Follower(const Follower&) = delete;
    Follower& operator=(const Follower&) = delete;

    // Nothing to follow for a round that keeps no record and checks no hash.
    void Start();
    // Returns once the thread has left; a read failure is left for the final check to meet.
    void Stop();

private:
    void Run();

    const RoundSetup& setup_;
    const WrittenBytes& written_;
    PartFile part_;
    KernelHandle stop_;
    ThreadGuard thread_;  // last: joined before what it uses goes
};
