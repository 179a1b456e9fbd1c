#include "tkwengine/block_scan.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kFilterBitsPerBlock = 16;  // about one window in sixteen gets past it needlessly
constexpr uint32_t kMinFilterBits = 16;

uint32_t BitsFor(uint64_t count)
{
    uint32_t bits = 0;
    while ((uint64_t{1} << bits) < count) ++bits;
    return bits;
}

}  // namespace

bool BlockScan::Prepare()
{
    const uint32_t count = index_.blockCount;
    const uint32_t filterBits = std::max(kMinFilterBits, BitsFor(uint64_t{count} * kFilterBitsPerBlock));
    const uint32_t bucketBits = std::max(kMinFilterBits, BitsFor(uint64_t{count} * 2));
    filterShift_ = 32 - filterBits;
    bucketShift_ = 32 - bucketBits;
    filter_.reset(new (std::nothrow) uint32_t[(size_t{1} << filterBits) / 32]());
    heads_.reset(new (std::nothrow) uint32_t[size_t{1} << bucketBits]());
    next_.reset(new (std::nothrow) uint32_t[count]);
    twins_.reset(new (std::nothrow) uint8_t[count]());
    buffer_.reset(new (std::nothrow) uint8_t[kChunk + 2 * size_t{index_.blockSize}]);
    if (!filter_ || !heads_ || !next_ || !twins_ || !buffer_) return false;
    for (uint32_t block = count; block-- > 0;) {  // each bucket's blocks in file order
        const uint32_t weak = index_.Weak(block), bit = Mix(weak) >> filterShift_, bucket = Mix(weak) >> bucketShift_;
        filter_[bit >> 5] |= 1u << (bit & 31);
        next_[block] = heads_[bucket];
        heads_[bucket] = block + 1;
    }
    for (uint32_t block = 0; block < count; ++block)
        for (uint32_t entry = next_[block]; entry != 0 && !twins_[block]; entry = next_[entry - 1])
            if (index_.Weak(entry - 1) == index_.Weak(block) &&
                std::memcmp(index_.Strong(entry - 1), index_.Strong(block), kStrongSumSize) == 0)
                twins_[block] = twins_[entry - 1] = 1;
    return true;
}

bool BlockScan::SameStrong(uint32_t block, const uint8_t* window)
{
    if (!strongKnown_) StrongSum(sha_, window, index_.blockSize, strong_);
    strongKnown_ = true;
    return std::memcmp(strong_, index_.Strong(block), kStrongSumSize) == 0;
}

// 1 when the window holds the block expected after the last match, which
// has no twin to report with it; 0 when it does not; -1 when the sink
// stopped the scan.
int BlockScan::Follow(const uint8_t* window, Sink& sink)
{
    if (expected_ >= index_.blockCount || twins_[expected_] || !SameStrong(expected_, window)) return 0;
    const uint32_t block = expected_++;
    return sink.Found(block, window, index_.Length(block)) ? 1 : -1;
}

// What Found gave stays valid until Compared: only then do the bytes move.
bool BlockScan::Refill(Source& source, Sink& sink)
{
    if (!sink.Compared(base_ + start_)) return false;
    uint8_t* const buffer = buffer_.get();
    std::memmove(buffer, buffer + start_, end_ - start_);
    base_ += start_;
    end_ -= start_;
    start_ = 0;
    const size_t size = index_.blockSize, room = kChunk + size;
    while (end_ < room) {
        uint32_t got = 0;
        if (!source.Read(buffer + end_, static_cast<uint32_t>(room - end_), got)) return false;
        if (got == 0) {
            atEnd_ = true;
            copySize_ = base_ + end_;
            std::memset(buffer + end_, 0, size);
            end_ += size;
            return true;
        }
        end_ += got;
    }
    return true;
}

// 1 when some block has the window's bytes (each such block is reported),
// 0 when none has, -1 when the sink stopped the scan.
int BlockScan::Match(uint32_t weak, const uint8_t* window, Sink& sink)
{
    bool matched = false;
    for (uint32_t entry = heads_[Mix(weak) >> bucketShift_]; entry != 0; entry = next_[entry - 1]) {
        const uint32_t block = entry - 1;
        if (index_.Weak(block) != weak || !SameStrong(block, window)) continue;
        if (!matched) expected_ = block + 1;
        matched = true;
        if (!sink.Found(block, window, index_.Length(block))) return -1;
    }
    return matched ? 1 : 0;
}

bool BlockScan::Run(Source& source, Sink& sink)
{
    const uint32_t size = index_.blockSize;
    const uint8_t* const buffer = buffer_.get();
    start_ = end_ = 0;
    base_ = 0;
    atEnd_ = false;
    expected_ = index_.blockCount;
    RollingSum sum;
    bool rolling = false;
    for (;;) {
        // The window and the byte after it held, or the copy's end reached.
        if (!atEnd_ && start_ + size >= end_) {
            if (!Refill(source, sink)) return false;
            continue;
        }
        if (atEnd_ && base_ + start_ >= copySize_) break;  // no window left with a byte of the copy
        strongKnown_ = false;
        const int followed = rolling ? 0 : Follow(buffer + start_, sink);
        if (followed < 0) return false;
        if (followed > 0) {
            start_ += size;
            continue;
        }
        if (!rolling) sum.Start(buffer + start_, size);
        rolling = true;
        // The last window start from which this buffer can roll on.
        const size_t last = atEnd_ ? static_cast<size_t>(copySize_ - base_) - 1 : end_ - size - 1;
        size_t start = start_;
        while (start < last && !Maybe(sum.Value())) {
            sum.Roll(buffer[start], buffer[start + size]);
            ++start;
        }
        strongKnown_ = strongKnown_ && start == start_;
        start_ = start;
        const int match = Maybe(sum.Value()) ? Match(sum.Value(), buffer + start_, sink) : 0;
        if (match < 0) return false;
        if (match > 0) {
            start_ += size;
            rolling = false;
            continue;
        }
        if (atEnd_ && start_ == last) break;
        sum.Roll(buffer[start_], buffer[start_ + size]);
        ++start_;
    }
    return sink.Compared(copySize_);
}
