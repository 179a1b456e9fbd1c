// A round's thread behind the writer: about once a second it saves the
// resume state, the part file's bytes flushed through a handle of its own
// first, then the record that claims them, so the writer never waits for
// the disk.
#pragma once
#include <windows.h>

#include "common/win_handles.h"
#include "tkwengine/local_file.h"
#include "tkwengine/pieces.h"
#include "tkwengine/round_setup.h"
#include "tkwengine/thread_guard.h"

class Follower {
public:
    Follower(const RoundSetup& setup, const PieceTable& pieces);
    Follower(const Follower&) = delete;
    Follower& operator=(const Follower&) = delete;

    // Nothing to follow for a round that keeps no record.
    void Start();
    // Returns once the thread has left.
    void Stop();

private:
    void Run();

    const RoundSetup& setup_;
    const PieceTable& pieces_;
    PartFile part_;
    KernelHandle stop_;
    ThreadGuard thread_;  // last: joined before what it uses goes
};
