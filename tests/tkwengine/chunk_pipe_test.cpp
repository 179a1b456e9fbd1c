// The chunk pipe alone: chunks leave in the order they came, a shut pipe
// hands out no buffer, and it is drained once every sender is done and
// nothing is left.
#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <vector>

#include "tkwengine/chunk_pipe.h"

namespace {

enum class Op { Acquire, Deliver, Take, Recycle, SenderDone, Shut, Drained, Reset };

struct Step {
    Op op;
    bool ok = true;       // a buffer acquired, a chunk taken, the pipe drained
    uint64_t first = 0;   // offset of the first chunk delivered or taken; senders of a reset
    size_t times = 1;     // of acquiring, delivering, taking or recycling
};

Step Acquire(size_t times) { return {Op::Acquire, true, 0, times}; }
Step Deliver(uint64_t first, size_t times = 1) { return {Op::Deliver, true, first, times}; }
Step Take(uint64_t first, size_t times = 1) { return {Op::Take, true, first, times}; }
Step Recycle(size_t times) { return {Op::Recycle, true, 0, times}; }
const Step kNoBuffer{Op::Acquire, false}, kNothing{Op::Take, false}, kSenderDone{Op::SenderDone},
    kShut{Op::Shut}, kDrained{Op::Drained}, kNotDrained{Op::Drained, false};

// Chunks are delivered in the buffers acquired first, and recycled in the
// order taken; each chunk's offset names it.
class PipeScript {
public:
    explicit PipeScript(size_t senders)
    {
        EXPECT_TRUE(pipe_.Allocate());
        pipe_.Reset(senders);
    }

    void Run(const Step& step)
    {
        for (size_t i = 0; i < step.times; ++i) RunOnce(step, step.first + i);
    }

private:
    void RunOnce(const Step& step, uint64_t offset)
    {
        Chunk chunk;
        switch (step.op) {
        case Op::Acquire: {
            char* buffer = pipe_.Acquire();
            EXPECT_EQ(step.ok, buffer != nullptr);
            if (buffer) held_.push_back(buffer);
            break;
        }
        case Op::Deliver:
            ASSERT_FALSE(held_.empty());
            delivered_[offset] = held_.front();
            pipe_.Deliver({held_.front(), 1, offset, 0});
            held_.erase(held_.begin());
            break;
        case Op::Take:
            ASSERT_EQ(step.ok, pipe_.Take(chunk, 0));
            if (!step.ok) break;
            EXPECT_EQ(offset, chunk.offset);
            EXPECT_EQ(delivered_[offset], chunk.data);
            taken_.push_back(chunk.data);
            break;
        case Op::Recycle:
            ASSERT_FALSE(taken_.empty());
            pipe_.Recycle(taken_.front());
            taken_.erase(taken_.begin());
            break;
        case Op::SenderDone: pipe_.SenderDone(); break;
        case Op::Shut: pipe_.Shut(); break;
        case Op::Drained: EXPECT_EQ(step.ok, pipe_.Drained()); break;
        case Op::Reset: pipe_.Reset(static_cast<size_t>(step.first)); break;
        }
    }

    ChunkPipe pipe_;
    std::vector<char*> held_, taken_;
    std::map<uint64_t, char*> delivered_;
};

TEST(ChunkPipe, Scripts)
{
    const size_t all = ChunkPipe::kBuffers;
    struct Row {
        const char* name;
        size_t senders;
        std::vector<Step> steps;
    } const rows[] = {
        {"first in, first out", 1, {Acquire(3), Deliver(1), Deliver(2), Deliver(3), Take(1), Take(2), Take(3), kNothing,
                                    kNotDrained}},
        {"around the ring", 1, {Acquire(all), Deliver(1, all), Take(1, 4), Recycle(4), Acquire(4), Deliver(9, 4),
                                Take(5, all), kNothing, Recycle(all), Acquire(all)}},
        {"senders done", 2, {Acquire(1), Deliver(1), kSenderDone, kNotDrained, Take(1), kNotDrained, kSenderDone,
                             kDrained, kNothing}},
        {"no senders", 0, {kDrained, kNothing}},
        {"shut", 1, {Acquire(1), kShut, kNoBuffer}},
        {"reset", 1, {Acquire(all), Deliver(1), kShut, {Op::Reset, true, 1}, kNothing, Acquire(all), kSenderDone,
                      kDrained}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PipeScript script(row.senders);
        for (const Step& step : row.steps) script.Run(step);
    }
}

// With every buffer out, a sender waits until one comes back, or the pipe is shut.
TEST(ChunkPipe, ASenderWaitingForABufferWakes)
{
    const bool shutRows[] = {false, true};
    for (bool shut : shutRows) {
        ChunkPipe pipe;
        ASSERT_TRUE(pipe.Allocate());
        pipe.Reset(1);
        std::vector<char*> out;
        for (size_t i = 0; i < ChunkPipe::kBuffers; ++i) out.push_back(pipe.Acquire());
        char* got = out[1];
        std::thread sender([&] { got = pipe.Acquire(); });
        if (shut) pipe.Shut();
        if (!shut) pipe.Recycle(out[0]);
        sender.join();
        EXPECT_EQ(shut ? nullptr : out[0], got) << (shut ? "shut" : "recycled");
    }
}

}  // namespace
