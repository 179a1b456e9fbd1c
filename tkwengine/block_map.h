// Which blocks of a file its part file holds while an older copy is
// compared with the file's index: what the record keeps as missing (blocks
// close together as one range, a small gap costing less than a request,
// and the closest merged where there would be too many ranges) and the
// prefix the hash may follow.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "tkwengine/lock.h"
#include "tkwengine/resume_state.h"
#include "tkwengine/written_bytes.h"

class BlockMap : public WrittenBytes {
public:
    // Missing blocks less than this apart are fetched as one range.
    static constexpr uint64_t kCloseGap = 32 << 10;

    // Blocks wholly outside kept's missing ranges are present; false when
    // memory is short.
    bool Begin(uint64_t fileSize, uint32_t blockSize, const ResumeState& kept);
    bool Present(uint32_t block) const;
    // The blocks [first, first + count) are written.
    void Mark(uint32_t first, uint32_t count);
    size_t Missing(ByteRange* out, size_t capacity) const override;
    uint64_t WrittenPrefix() const override;

private:
    mutable CriticalLock lock_;
    std::unique_ptr<uint8_t[]> present_;
    std::unique_ptr<ByteRange[]> runs_;  // Missing's room: at most one run per two blocks, and one more
    uint64_t fileSize_ = 0;
    uint32_t blockSize_ = 0;
    uint32_t count_ = 0;
    mutable uint32_t firstMissing_ = 0;  // only grows: blocks are never unmarked
};

// Merges sorted, disjoint ranges that are less than closeGap apart, then,
// while more than capacity are left, those less than twice as far apart,
// and so on. Returns how many are left.
size_t MergeRanges(ByteRange* ranges, size_t count, uint64_t closeGap, size_t capacity);
