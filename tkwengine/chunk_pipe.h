// Received chunks on their way from the connections to the one thread that
// writes them. Receiving and writing overlap, each on its own core; the
// buffers are allocated once, and a chunk is neither copied nor allocated
// on the way.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "tkwengine/lock.h"

struct Chunk {
    char* data = nullptr;
    DWORD size = 0;
    uint64_t offset = 0;  // in the file being written
    size_t piece = 0;
};

class ChunkPipe {
public:
    // Two per connection: one being filled while the other waits to be written.
    static constexpr size_t kBuffers = 8;
    static constexpr DWORD kBufferSize = 1 << 20;

    ChunkPipe() = default;
    ChunkPipe(const ChunkPipe&) = delete;
    ChunkPipe& operator=(const ChunkPipe&) = delete;

    // buffers of kBufferSize, at most kBuffers.
    bool Allocate(size_t buffers = kBuffers);
    // Every buffer free, nothing queued, open for this many senders.
    void Reset(size_t senders);
    // A free buffer, waiting for one; nullptr once the pipe is shut.
    char* Acquire();
    void Deliver(const Chunk& chunk);
    void Recycle(char* buffer);
    void SenderDone();
    // The oldest chunk, waiting up to timeoutMs; false on time-out or when
    // every sender is done and nothing is left.
    bool Take(Chunk& chunk, DWORD timeoutMs);
    bool Drained() const;
    // Senders waiting for a buffer give up.
    void Shut();
    bool IsShut() const;

private:
    template <class Change> void Announce(Change change);

    mutable CriticalLock lock_;
    Condition changed_;
    std::unique_ptr<char[]> memory_;
    size_t buffers_ = 0;
    char* free_[kBuffers] = {};
    size_t freeCount_ = 0;
    Chunk queue_[kBuffers];
    size_t head_ = 0;
    size_t queued_ = 0;
    size_t senders_ = 0;
    bool shut_ = false;
};
