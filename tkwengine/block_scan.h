// Finds a file's blocks, as its index gives them, at any offset of an older
// copy, so that bytes inserted or removed before a block do not hide it:
// the weak checksum is rolled a byte at a time and looked up in a filter
// small enough for the processor's cache, the strong one is taken only
// where a weak one matches, and after a match the scan goes on past the
// block, where the file's next block most likely follows: the strong sum
// alone tells whether it does. Compiled for speed (the engine otherwise for
// size): it reads the whole old copy.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/block_index.h"
#include "common/sha256.h"

class BlockScan {
public:
    // Where the old copy's bytes come from.
    class Source {
    public:
        // Up to size bytes; got is 0 at the end. False when the read failed.
        virtual bool Read(uint8_t* buffer, uint32_t size, uint32_t& got) = 0;

    protected:
        ~Source() = default;
    };

    // What the scan finds.
    class Sink {
    public:
        // The bytes at data are block's, of which size are the file's; they
        // stay where they are until the next Compared. False stops the scan.
        virtual bool Found(uint32_t block, const uint8_t* data, uint32_t size) = 0;
        // Bytes of the old copy compared so far; false stops the scan.
        virtual bool Compared(uint64_t bytes) = 0;

    protected:
        ~Sink() = default;
    };

    explicit BlockScan(const BlockIndex& index) : index_(index) {}
    BlockScan(const BlockScan&) = delete;
    BlockScan& operator=(const BlockScan&) = delete;

    // The lookup tables and the buffer; false when memory is short.
    bool Prepare();
    // Reads the old copy to its end (true), or until the sink stops the scan
    // or a read fails. Past the copy's end, zeros stand for the bytes of a
    // short last block.
    bool Run(Source& source, Sink& sink);

private:
    static constexpr uint32_t kChunk = 4 << 20;

    bool Maybe(uint32_t weak) const
    {
        const uint32_t bit = Mix(weak) >> filterShift_;
        return (filter_[bit >> 5] >> (bit & 31) & 1) != 0;
    }
    static uint32_t Mix(uint32_t weak) { return weak * 0x9E3779B1u; }
    bool SameStrong(uint32_t block, const uint8_t* window);
    int Follow(const uint8_t* window, Sink& sink);
    int Match(uint32_t weak, const uint8_t* window, Sink& sink);
    bool Refill(Source& source, Sink& sink);

    const BlockIndex& index_;
    std::unique_ptr<uint32_t[]> filter_;  // a bit per mixed weak checksum's top bits
    std::unique_ptr<uint32_t[]> heads_;   // per bucket, its first block + 1; 0: none
    std::unique_ptr<uint32_t[]> next_;    // per block, the next one of its bucket + 1
    std::unique_ptr<uint8_t[]> twins_;    // per block, whether another one has its bytes
    std::unique_ptr<uint8_t[]> buffer_;
    uint32_t filterShift_ = 0, bucketShift_ = 0;
    Sha256 sha_;
    uint8_t strong_[kStrongSumSize] = {};  // the window's, when strongKnown_
    bool strongKnown_ = false;
    uint32_t expected_ = 0;  // the block after the last one matched
    // The bytes held: buffer_[start_] is the window's first, at offset base_ + start_.
    size_t start_ = 0, end_ = 0;
    uint64_t base_ = 0;
    bool atEnd_ = false;
    uint64_t copySize_ = 0;  // known at the end
};
