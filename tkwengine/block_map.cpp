#include "tkwengine/block_map.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

size_t MergeCloserThan(ByteRange* ranges, size_t count, uint64_t gap)
{
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (kept > 0 && ranges[i].from - ranges[kept - 1].to < gap)
            ranges[kept - 1].to = ranges[i].to;
        else
            ranges[kept++] = ranges[i];
    }
    return kept;
}

bool Overlaps(ByteRange a, ByteRange b) { return a.from < b.to && b.from < a.to; }

}  // namespace

size_t MergeRanges(ByteRange* ranges, size_t count, uint64_t closeGap, size_t capacity)
{
    count = MergeCloserThan(ranges, count, closeGap);
    for (uint64_t gap = std::max<uint64_t>(closeGap, 1) * 2; count > capacity && capacity > 0; gap *= 2)
        count = MergeCloserThan(ranges, count, gap);
    return count;
}

bool BlockMap::Begin(uint64_t fileSize, uint32_t blockSize, const ResumeState& kept)
{
    fileSize_ = fileSize;
    blockSize_ = blockSize;
    count_ = static_cast<uint32_t>((fileSize + blockSize - 1) / blockSize);
    firstMissing_ = 0;
    present_.reset(new (std::nothrow) uint8_t[count_]);
    runs_.reset(new (std::nothrow) ByteRange[count_ / 2 + 1]);
    if (!present_ || !runs_) return false;
    size_t range = 0;
    for (uint32_t block = 0; block < count_; ++block) {
        const ByteRange bytes = {uint64_t{block} * blockSize, std::min(uint64_t{block + 1} * blockSize, fileSize)};
        while (range < kept.count && kept.missing[range].to <= bytes.from) ++range;
        present_[block] = range == kept.count || !Overlaps(kept.missing[range], bytes);
    }
    return true;
}

bool BlockMap::Present(uint32_t block) const
{
    Locked locked(lock_);
    return present_[block] != 0;
}

void BlockMap::Mark(uint32_t first, uint32_t count)
{
    Locked locked(lock_);
    std::memset(present_.get() + first, 1, count);
}

size_t BlockMap::Missing(ByteRange* out, size_t capacity) const
{
    Locked locked(lock_);
    size_t runs = 0;
    for (uint32_t block = 0; block < count_; ++block) {
        if (present_[block]) continue;
        const uint64_t from = uint64_t{block} * blockSize_;
        if (runs > 0 && runs_[runs - 1].to == from)
            runs_[runs - 1].to = std::min(from + blockSize_, fileSize_);
        else
            runs_[runs++] = {from, std::min(from + blockSize_, fileSize_)};
    }
    runs = MergeRanges(runs_.get(), runs, kCloseGap, capacity);
    std::copy(runs_.get(), runs_.get() + std::min(runs, capacity), out);
    return std::min(runs, capacity);
}

uint64_t BlockMap::WrittenPrefix() const
{
    Locked locked(lock_);
    while (firstMissing_ < count_ && present_[firstMissing_]) ++firstMissing_;
    return std::min(uint64_t{firstMissing_} * blockSize_, fileSize_);
}
