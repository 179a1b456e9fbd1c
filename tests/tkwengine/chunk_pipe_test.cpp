// The chunk pipe alone: chunks leave in the order they came, a shut pipe
// hands out no buffer, and it is drained once every sender is done and
// nothing is left.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tkwengine/chunk_pipe.h"

namespace {

enum class Op { Send, Take, SenderDone, Shut, Reset, Drained };

// Send: a buffer acquired and delivered as the chunk at offset first (and
// the next ones, times in all); Take: a chunk taken at that offset and its
// buffer recycled; Reset: to first senders. ok false: no buffer, no chunk,
// not drained.
struct Step {
    Op op;
    uint64_t first = 0;
    uint64_t times = 1;
    bool ok = true;
};

const Step kNoBuffer{Op::Send, 0, 1, false}, kNothing{Op::Take, 0, 1, false}, kSenderDone{Op::SenderDone},
    kShut{Op::Shut}, kDrained{Op::Drained}, kNotDrained{Op::Drained, 0, 1, false};

void Play(ChunkPipe& pipe, const Step& step)
{
    for (uint64_t offset = step.first; offset < step.first + step.times; ++offset) {
        Chunk chunk;
        char* buffer = nullptr;
        switch (step.op) {
        case Op::Send:
            buffer = pipe.Acquire();
            EXPECT_EQ(step.ok, buffer != nullptr);
            if (buffer) pipe.Deliver({buffer, 1, offset, 0});
            break;
        case Op::Take:
            ASSERT_EQ(step.ok, pipe.Take(chunk, 0)) << offset;
            if (!step.ok) break;
            EXPECT_EQ(offset, chunk.offset);
            pipe.Recycle(chunk.data);
            break;
        case Op::SenderDone: pipe.SenderDone(); break;
        case Op::Shut: pipe.Shut(); break;
        case Op::Reset: pipe.Reset(static_cast<size_t>(offset)); break;
        case Op::Drained: EXPECT_EQ(step.ok, pipe.Drained()); break;
        }
    }
}

TEST(ChunkPipe, Scripts)
{
    const uint64_t all = ChunkPipe::kBuffers;
    struct Row {
        const char* name;
        size_t senders;
        std::vector<Step> steps;
    } const rows[] = {
        {"first in, first out", 1, {{Op::Send, 1, 3}, {Op::Take, 1, 3}, kNothing, kNotDrained}},
        {"around the ring", 1, {{Op::Send, 1, all}, {Op::Take, 1, 3}, {Op::Send, 9, 3}, {Op::Take, 4, all}, kNothing}},
        {"senders done", 2, {{Op::Send, 1}, kSenderDone, kNotDrained, {Op::Take, 1}, kNotDrained, kSenderDone,
                             kDrained, kNothing}},
        {"no senders", 0, {kDrained, kNothing}},
        {"shut", 1, {{Op::Send, 1}, kShut, kNoBuffer}},
        {"reset", 1, {{Op::Send, 1, all}, kShut, {Op::Reset, 2}, kNothing, {Op::Send, 1, all}, kSenderDone,
                      kNotDrained, {Op::Take, 1, all}, kSenderDone, kDrained}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ChunkPipe pipe;
        ASSERT_TRUE(pipe.Allocate());
        pipe.Reset(row.senders);
        for (const Step& step : row.steps) Play(pipe, step);
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
