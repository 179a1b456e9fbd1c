// The block index's format, as the publisher's command writes it and the
// engine reads it: block sizes, the rolling checksum, a round trip, and
// every damaged or foreign form refused.
#include "common/block_index.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Bytes(size_t size, unsigned seed)
{
    std::string data(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : data) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return data;
}

const uint8_t* At(const std::string& data, size_t offset = 0)
{
    return reinterpret_cast<const uint8_t*>(data.data()) + offset;
}

std::string IndexOf(const std::string& data, char (&hex)[kSha256TextSize])
{
    BlockIndexWriter writer(data.size());
    writer.Add(At(data), data.size() / 3);  // in uneven pieces
    writer.Add(At(data, data.size() / 3), data.size() - data.size() / 3);
    std::string index;
    EXPECT_TRUE(writer.Finish(index, hex));
    return index;
}

void Put32(std::string& index, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i) index[offset + i] = static_cast<char>(value >> (8 * i));
}

// The checksum at the end made afresh, so that only the rule under test can refuse the index.
void Reseal(std::string& index)
{
    Sha256 sha;
    uint8_t digest[kSha256Size];
    index.resize(index.size() - kSha256Size);
    ASSERT_TRUE(sha.Add(index.data(), static_cast<DWORD>(index.size())) && sha.Finish(digest));
    index.append(reinterpret_cast<const char*>(digest), sizeof digest);
}

TEST(BlockIndex, BlockSizesGrowWithTheSquareRootOfTheFile)
{
    const struct {
        uint64_t fileSize;
        uint32_t blockSize;
    } rows[] = {
        {0, 0},
        {1, kMinBlockSize},
        {16ull << 20, 4 << 10},
        {257ull << 20, 16 << 10},
        {2ull << 30, 64 << 10},
        {32ull << 30, kMaxBlockSize},         // kMaxBlocks blocks of the largest size
        {(32ull << 30) + 1, 0},               // one more block than an index holds
    };
    for (const auto& row : rows) EXPECT_EQ(row.blockSize, BlockSizeFor(row.fileSize)) << row.fileSize;
}

// Rolled a byte at a time, the checksum is the one of each window taken whole.
TEST(BlockIndex, TheRollingChecksumRollsToEachWindowsOwn)
{
    const std::string data = Bytes(5000, 1) + std::string(3000, '\xff');
    RollingSum rolled;
    rolled.Start(At(data), 2048);
    for (size_t start = 0; start + 2048 < data.size(); ++start) {
        RollingSum whole;
        whole.Start(At(data, start), 2048);
        ASSERT_EQ(whole.Value(), rolled.Value()) << start;
        rolled.Roll(data[start], data[start + 2048]);
    }
}

// Each block's sums, the last one's over its bytes and zeros to a whole block.
TEST(BlockIndex, ReadsBackWhatTheWriterWrote)
{
    const std::string data = Bytes(5 * kMinBlockSize + 100, 2);
    char hex[kSha256TextSize] = {}, expected[kSha256TextSize] = {};
    const std::string index = IndexOf(data, hex);
    Sha256 sha;
    ASSERT_TRUE(sha.Add(data.data(), static_cast<DWORD>(data.size())) && sha.Finish(expected));
    EXPECT_STREQ(expected, hex);
    ASSERT_EQ(kBlockIndexHeaderSize + 6 * kBlockEntrySize + kSha256Size, index.size());
    BlockIndex read;
    ASSERT_TRUE(ReadBlockIndex(At(index), index.size(), read));
    EXPECT_EQ(kMinBlockSize, read.blockSize);
    EXPECT_EQ(data.size(), read.fileSize);
    EXPECT_EQ(6u, read.blockCount);
    char readHex[kSha256TextSize];
    DigestText(read.sha256, readHex);
    EXPECT_STREQ(expected, readHex);
    const std::string padded = data + std::string(kMinBlockSize - 100, '\0');
    Sha256 sums;
    for (uint32_t block = 0; block < read.blockCount; ++block) {
        RollingSum weak;
        weak.Start(At(padded, block * kMinBlockSize), kMinBlockSize);
        uint8_t strong[kStrongSumSize];
        StrongSum(sums, At(padded, block * kMinBlockSize), kMinBlockSize, strong);
        EXPECT_EQ(weak.Value(), read.Weak(block)) << block;
        EXPECT_EQ(0, std::memcmp(strong, read.Strong(block), sizeof strong)) << block;
        EXPECT_EQ(block == 5 ? 100u : kMinBlockSize, read.Length(block)) << block;
    }
}

TEST(BlockIndex, RefusesEveryDamagedOrForeignForm)
{
    const struct {
        const char* name;
        void (*damage)(std::string&);
        bool resealed;  // the checksum made afresh over the damage
    } rows[] = {
        {"intact", [](std::string&) {}, false},
        {"short", [](std::string& i) { i.resize(i.size() - 1); }, false},
        {"a byte more", [](std::string& i) { i += '\0'; }, false},
        {"only a header", [](std::string& i) { i.resize(kBlockIndexHeaderSize); }, false},
        {"another magic", [](std::string& i) { i[0] = 'W'; }, true},
        {"another version", [](std::string& i) { Put32(i, 8, 2); }, true},
        {"a block size not a power of two", [](std::string& i) { Put32(i, 12, kMinBlockSize + 1); }, true},
        {"a block size below the least", [](std::string& i) { Put32(i, 12, kMinBlockSize / 2); }, true},
        {"a block size above the largest", [](std::string& i) { Put32(i, 12, kMaxBlockSize * 2); }, true},
        {"an empty file", [](std::string& i) { std::memset(&i[16], 0, 8); }, true},
        {"a count that is not the file's", [](std::string& i) { Put32(i, 56, 5); }, true},
        {"more blocks than an index holds", [](std::string& i) { Put32(i, 56, kMaxBlocks + 1); }, true},
        {"the reserved word used", [](std::string& i) { Put32(i, 60, 1); }, true},
        {"a block's sum damaged", [](std::string& i) { i[kBlockIndexHeaderSize + 3] ^= 1; }, false},
        {"the checksum damaged", [](std::string& i) { i[i.size() - 1] ^= 1; }, false},
    };
    char hex[kSha256TextSize];
    const std::string intact = IndexOf(Bytes(5 * kMinBlockSize + 100, 3), hex);
    for (const auto& row : rows) {
        std::string index = intact;
        row.damage(index);
        if (row.resealed) Reseal(index);
        BlockIndex read;
        EXPECT_EQ(std::string(row.name) == "intact", ReadBlockIndex(At(index), index.size(), read)) << row.name;
    }
    const std::string huge(kMaxBlockIndexSize + 1, '\0');
    BlockIndex read;
    EXPECT_FALSE(ReadBlockIndex(At(huge), huge.size(), read));
}

// A file of no index still gets its hash; bytes short of the size give neither.
TEST(BlockIndex, TheWriterNeedsTheWholeFile)
{
    char hex[kSha256TextSize] = {};
    std::string index = "left over";
    BlockIndexWriter empty(0);
    EXPECT_FALSE(empty.Usable());
    EXPECT_TRUE(empty.Finish(index, hex));
    EXPECT_STREQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", hex);
    EXPECT_TRUE(index.empty());
    BlockIndexWriter shorter(100);
    shorter.Add(At(Bytes(99, 4)), 99);
    EXPECT_FALSE(shorter.Finish(index, hex));
}

}  // namespace
