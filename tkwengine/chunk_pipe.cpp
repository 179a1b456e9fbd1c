#include "tkwengine/chunk_pipe.h"

#include <new>

bool ChunkPipe::Allocate(size_t buffers)
{
    buffers_ = buffers < kBuffers ? buffers : kBuffers;
    memory_.reset(new (std::nothrow) char[buffers_ * kBufferSize]);
    return memory_ != nullptr;
}

// Waiters are woken once the lock is let go, so they do not wake only to wait for it.
template <class Change> void ChunkPipe::Announce(Change change)
{
    {
        Locked locked(lock_);
        change();
    }
    changed_.WakeAll();
}

void ChunkPipe::Reset(size_t senders)
{
    Locked locked(lock_);
    for (size_t i = 0; i < buffers_; ++i) free_[i] = memory_.get() + i * kBufferSize;
    freeCount_ = buffers_;
    head_ = queued_ = 0;
    senders_ = senders;
    shut_ = false;
}

char* ChunkPipe::Acquire()
{
    Locked locked(lock_);
    while (freeCount_ == 0 && !shut_) locked.Wait(changed_, INFINITE);
    return shut_ ? nullptr : free_[--freeCount_];
}

void ChunkPipe::Deliver(const Chunk& chunk)
{
    Announce([&] { queue_[(head_ + queued_++) % kBuffers] = chunk; });
}

void ChunkPipe::Recycle(char* buffer)
{
    Announce([&] { free_[freeCount_++] = buffer; });
}

void ChunkPipe::SenderDone()
{
    Announce([&] { --senders_; });
}

bool ChunkPipe::Take(Chunk& chunk, DWORD timeoutMs)
{
    Locked locked(lock_);
    if (queued_ == 0 && senders_ > 0) locked.Wait(changed_, timeoutMs);
    if (queued_ == 0) return false;
    chunk = queue_[head_];
    head_ = (head_ + 1) % kBuffers;
    --queued_;
    return true;
}

bool ChunkPipe::Drained() const
{
    Locked locked(lock_);
    return queued_ == 0 && senders_ == 0;
}

bool ChunkPipe::IsShut() const
{
    Locked locked(lock_);
    return shut_;
}

void ChunkPipe::Shut()
{
    Announce([&] { shut_ = true; });
}
