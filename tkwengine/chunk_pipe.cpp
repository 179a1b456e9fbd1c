#include "tkwengine/chunk_pipe.h"

#include <new>

ChunkPipe::ChunkPipe()
{
    InitializeCriticalSection(&lock_);
    InitializeConditionVariable(&changed_);
}

ChunkPipe::~ChunkPipe() { DeleteCriticalSection(&lock_); }

bool ChunkPipe::Allocate()
{
    memory_.reset(new (std::nothrow) char[kBuffers * kBufferSize]);
    return memory_ != nullptr;
}

void ChunkPipe::Reset(size_t senders)
{
    EnterCriticalSection(&lock_);
    for (size_t i = 0; i < kBuffers; ++i) free_[i] = memory_.get() + i * kBufferSize;
    freeCount_ = kBuffers;
    head_ = queued_ = 0;
    senders_ = senders;
    shut_ = false;
    LeaveCriticalSection(&lock_);
}

char* ChunkPipe::Acquire()
{
    EnterCriticalSection(&lock_);
    while (freeCount_ == 0 && !shut_) SleepConditionVariableCS(&changed_, &lock_, INFINITE);
    char* buffer = shut_ ? nullptr : free_[--freeCount_];
    LeaveCriticalSection(&lock_);
    return buffer;
}

void ChunkPipe::Deliver(const Chunk& chunk)
{
    EnterCriticalSection(&lock_);
    queue_[(head_ + queued_++) % kBuffers] = chunk;
    LeaveCriticalSection(&lock_);
    WakeAllConditionVariable(&changed_);
}

void ChunkPipe::Recycle(char* buffer)
{
    EnterCriticalSection(&lock_);
    free_[freeCount_++] = buffer;
    LeaveCriticalSection(&lock_);
    WakeAllConditionVariable(&changed_);
}

void ChunkPipe::SenderDone()
{
    EnterCriticalSection(&lock_);
    --senders_;
    LeaveCriticalSection(&lock_);
    WakeAllConditionVariable(&changed_);
}

bool ChunkPipe::Take(Chunk& chunk, DWORD timeoutMs)
{
    EnterCriticalSection(&lock_);
    if (queued_ == 0 && senders_ > 0) SleepConditionVariableCS(&changed_, &lock_, timeoutMs);
    bool taken = queued_ > 0;
    if (taken) {
        chunk = queue_[head_];
        head_ = (head_ + 1) % kBuffers;
        --queued_;
    }
    LeaveCriticalSection(&lock_);
    return taken;
}

bool ChunkPipe::Drained() const
{
    EnterCriticalSection(&lock_);
    bool drained = queued_ == 0 && senders_ == 0;
    LeaveCriticalSection(&lock_);
    return drained;
}

void ChunkPipe::Shut()
{
    EnterCriticalSection(&lock_);
    shut_ = true;
    LeaveCriticalSection(&lock_);
    WakeAllConditionVariable(&changed_);
}
