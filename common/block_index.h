// A file's block index, made by the publisher's command and read by the
// engine module, which finds in an older copy on the player's disk the
// blocks it need not fetch. One format, written and read here:
//
//   0   8 bytes   "VXBLOCKS"
//   8   4         version (1)
//   12  4         block size: a power of two, kMinBlockSize to kMaxBlockSize
//   16  8         the file's size, above 0
//   24  32        the file's SHA-256
//   56  4         block count: the file's size in blocks, the last one short,
//                 at most kMaxBlocks
//   60  4         0
//   64  12 each   per block: its rolling checksum, then the first 8 bytes of
//                 its SHA-256 (a short last block as if zeros filled it)
//   end 32        the SHA-256 of every byte before it
//
// Numbers are little-endian. An index is only ever a hint: the file's own
// hash decides whether the bytes put together from it are the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/sha256.h"

constexpr uint32_t kMinBlockSize = 2 << 10;
constexpr uint32_t kMaxBlockSize = 128 << 10;
constexpr uint32_t kMaxBlocks = 1 << 18;
constexpr size_t kStrongSumSize = 8;
constexpr size_t kBlockEntrySize = 4 + kStrongSumSize;
constexpr size_t kBlockIndexHeaderSize = 64;
constexpr size_t kMaxBlockIndexSize = kBlockIndexHeaderSize + kMaxBlocks * kBlockEntrySize + kSha256Size;
constexpr char kBlockIndexMagic[8] = {'V', 'X', 'B', 'L', 'O', 'C', 'K', 'S'};

// The block size for a file: the power of two nearest its size's square
// root (16 KiB for 256 MiB), within the bounds, larger where the count
// would pass kMaxBlocks; 0 for a file that gets no index (empty, or larger
// than kMaxBlocks blocks of the largest size, 32 GiB).
uint32_t BlockSizeFor(uint64_t fileSize);

// rsync's weak checksum of a window of bytes, moved on a byte at a time in
// constant time: two 16-bit sums, of the bytes and of the running sums.
class RollingSum {
public:
    void Start(const uint8_t* window, uint32_t size);
    void Roll(uint8_t out, uint8_t in)
    {
        a_ += in - out;
        b_ += a_ - size_ * out;
    }
    uint32_t Value() const { return (a_ & 0xFFFF) | (b_ << 16); }

private:
    uint32_t a_ = 0, b_ = 0, size_ = 0;
};

// The first kStrongSumSize bytes of a block's SHA-256; sha is restarted first.
void StrongSum(Sha256& sha, const uint8_t* block, uint32_t size, uint8_t (&out)[kStrongSumSize]);

// An index read in place: entries point into the bytes it was read from.
struct BlockIndex {
    uint32_t blockSize = 0;
    uint64_t fileSize = 0;
    uint8_t sha256[kSha256Size] = {};
    uint32_t blockCount = 0;
    const uint8_t* entries = nullptr;

    uint32_t Weak(uint32_t block) const;
    const uint8_t* Strong(uint32_t block) const { return entries + block * kBlockEntrySize + 4; }
    // Bytes of the file in the block: blockSize, but for a short last one.
    uint32_t Length(uint32_t block) const;
};

// False for anything but an intact index of this version within the bounds.
bool ReadBlockIndex(const uint8_t* bytes, size_t size, BlockIndex& out);

// Makes the index of a file from its bytes, fed in order.
class BlockIndexWriter {
public:
    explicit BlockIndexWriter(uint64_t fileSize);
    // False for a file that gets no index (BlockSizeFor).
    bool Usable() const { return blockSize_ != 0; }
    void Add(const uint8_t* data, size_t size);
    // The file's SHA-256 and its index (empty for a file that gets none);
    // false unless exactly the file's size was added.
    bool Finish(std::string& index, char (&hex)[kSha256TextSize]);

private:
    void EndBlock();

    uint64_t fileSize_;
    uint32_t blockSize_;
    uint64_t added_ = 0;
    std::string block_;  // the block being filled
    std::string entries_;
    Sha256 file_, sums_;
};
