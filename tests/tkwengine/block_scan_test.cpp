// The comparison of an older copy, in-process: which of a file's blocks the
// scan finds in a copy (at any offset, past its buffer's refills, a short
// last block at the copy's end), and how found blocks become the missing
// ranges a record keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/block_index.h"
#include "tkwengine/block_map.h"
#include "tkwengine/block_scan.h"
#include "tkwengine/engine_harness.h"

namespace {

constexpr uint32_t B = kMinBlockSize;  // the block size of every file below 16 MiB

// The copy, read a few odd-sized pieces at a time.
class StringSource : public BlockScan::Source {
public:
    explicit StringSource(const std::string& data) : data_(data) {}
    bool Read(uint8_t* buffer, uint32_t size, uint32_t& got) override
    {
        got = static_cast<uint32_t>(std::min<size_t>({size, 99991, data_.size() - at_}));
        std::memcpy(buffer, data_.data() + at_, got);
        at_ += got;
        return true;
    }

private:
    const std::string& data_;
    size_t at_ = 0;
};

// Puts each block found where the file has it; stops at the first report of
// progress once told to.
class Rebuilt : public BlockScan::Sink {
public:
    explicit Rebuilt(size_t size, bool stop = false) : bytes(size, '?'), stop_(stop) {}
    bool Found(uint32_t block, const uint8_t* data, uint32_t size) override
    {
        found.insert(block);
        std::memcpy(&bytes[uint64_t{block} * B], data, size);
        return true;
    }
    bool Compared(uint64_t bytes) override
    {
        compared = bytes;
        return !stop_;
    }

    std::string bytes;
    std::set<uint32_t> found;
    uint64_t compared = 0;

private:
    bool stop_;
};

// What an edit of the file made the older copy: bytes [at, at + removed)
// of the file replaced with inserted.
struct Edit {
    size_t at;
    size_t removed;
    std::string inserted;
};

std::set<uint32_t> Blocks(uint32_t first, uint32_t last)
{
    std::set<uint32_t> blocks;
    for (uint32_t block = first; block <= last; ++block) blocks.insert(block);
    return blocks;
}

std::string Flipped(const std::string& data, size_t at, size_t count)
{
    std::string bytes = data.substr(at, count);
    for (char& c : bytes) c = static_cast<char>(c ^ 1);
    return bytes;
}

std::string Apply(std::string data, const std::vector<Edit>& edits)
{
    for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit)
        data.replace(edit->at, edit->removed, edit->inserted);
    return data;
}

TEST(BlockScan, FindsEachSharedBlockAtAnyOffset)
{
    const std::string file = Pattern(40 * B + 700, 1), large = Pattern(7 << 20, 2);
    std::string doubled = file;
    std::copy(file.begin() + 2 * B, file.begin() + 3 * B, doubled.begin() + 7 * B);  // block 7 is block 2 again
    const struct Row {
        const char* name;
        std::string file;
        std::vector<Edit> edits;  // of the file, into the copy
        std::set<uint32_t> missing;
    } rows[] = {
        {"the same", file, {}, {}},
        {"changed in place", file,
         {{3 * B + 5, 1, Flipped(file, 3 * B + 5, 1)}, {11 * B - 1, 2, Flipped(file, 11 * B - 1, 2)}}, {3, 10, 11}},
        {"data inserted in the file", file, {{2 * B + 100, 300, ""}}, {2}},
        {"data removed from the file", file, {{2 * B + 100, 0, Pattern(300, 3)}}, {2}},
        // Found past the buffer's refills, shifted by a megabyte and five bytes.
        {"a megabyte inserted", large, {{(2 << 20) + 7, (1 << 20) + 5, ""}}, Blocks(1024, 1536)},
        {"blocks moved", file, {{5 * B, B, ""}, {20 * B, 0, file.substr(5 * B, B)}}, {}},
        {"the copy goes on past the file's end", file, {{file.size(), 0, "more"}}, {40}},
        {"the copy ends early", file, {{30 * B, file.size() - 30 * B, ""}}, Blocks(30, 40)},
        {"nothing shared", Pattern(10 * B, 4), {{0, 10 * B, Pattern(10 * B, 5)}}, Blocks(0, 9)},
        {"an empty copy", Pattern(3 * B, 6), {{0, 3 * B, ""}}, Blocks(0, 2)},
        {"one copy of a block the file has twice", doubled, {{2 * B, B, Pattern(B, 7)}}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        char hex[kSha256TextSize];
        std::string index;
        BlockIndexWriter writer(row.file.size());
        writer.Add(reinterpret_cast<const uint8_t*>(row.file.data()), row.file.size());
        ASSERT_TRUE(writer.Finish(index, hex));
        BlockIndex read;
        ASSERT_TRUE(ReadBlockIndex(reinterpret_cast<const uint8_t*>(index.data()), index.size(), read));
        ASSERT_EQ(B, read.blockSize);
        const std::string copy = Apply(row.file, row.edits);
        BlockScan scan(read);
        ASSERT_TRUE(scan.Prepare());
        StringSource source(copy);
        Rebuilt sink(row.file.size());
        ASSERT_TRUE(scan.Run(source, sink));
        EXPECT_EQ(copy.size(), sink.compared);
        std::set<uint32_t> missing;
        for (uint32_t block = 0; block < read.blockCount; ++block) {
            const uint64_t from = uint64_t{block} * read.blockSize;
            if (!sink.found.count(block)) {
                missing.insert(block);
                continue;
            }
            EXPECT_EQ(row.file.substr(from, read.Length(block)), sink.bytes.substr(from, read.Length(block))) << block;
        }
        EXPECT_EQ(row.missing, missing);
    }
}

TEST(BlockScan, StopsWhenTheSinkSaysSo)
{
    const std::string file = Pattern(20 * B, 8);
    char hex[kSha256TextSize];
    std::string index;
    BlockIndexWriter writer(file.size());
    writer.Add(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    ASSERT_TRUE(writer.Finish(index, hex));
    BlockIndex read;
    ASSERT_TRUE(ReadBlockIndex(reinterpret_cast<const uint8_t*>(index.data()), index.size(), read));
    BlockScan scan(read);
    ASSERT_TRUE(scan.Prepare());
    StringSource source(file);
    Rebuilt sink(file.size(), true);
    EXPECT_FALSE(scan.Run(source, sink));
    EXPECT_TRUE(sink.found.empty());
}

using Spans = std::vector<std::pair<uint64_t, uint64_t>>;

Spans SpansOf(const ByteRange* ranges, size_t count)
{
    Spans spans;
    for (size_t i = 0; i < count; ++i) spans.push_back({ranges[i].from, ranges[i].to});
    return spans;
}

TEST(BlockMap, MergesTheClosestRangesWhenThereAreTooMany)
{
    const struct {
        Spans ranges;
        uint64_t closeGap;
        size_t capacity;
        Spans merged;
    } rows[] = {
        {{{0, 10}, {20, 30}, {100, 110}}, 5, 8, {{0, 10}, {20, 30}, {100, 110}}},
        {{{0, 10}, {14, 30}, {100, 110}}, 5, 8, {{0, 30}, {100, 110}}},
        {{{0, 10}, {15, 30}, {100, 110}}, 5, 8, {{0, 10}, {15, 30}, {100, 110}}},  // a gap of 5 is not closer than 5
        {{{0, 10}, {20, 30}, {100, 110}}, 5, 2, {{0, 30}, {100, 110}}},
        {{{0, 10}, {20, 30}, {100, 110}}, 5, 1, {{0, 110}}},
        {{{0, 10}, {20, 30}, {40, 50}, {60, 70}}, 1, 3, {{0, 70}}},  // equal gaps merge together
    };
    for (const auto& row : rows) {
        std::vector<ByteRange> ranges;
        for (const auto& span : row.ranges) ranges.push_back({span.first, span.second});
        const size_t count = MergeRanges(ranges.data(), ranges.size(), row.closeGap, row.capacity);
        EXPECT_EQ(row.merged, SpansOf(ranges.data(), count)) << row.capacity;
    }
}

// Present are the blocks outside the kept record's missing ranges, and those
// marked since; the missing ones become ranges (close ones merged), and the
// prefix ends at the first missing block.
TEST(BlockMap, KeepsWhatIsMissingAsTheRecordWillHoldIt)
{
    const uint64_t block = 16 << 10, size = 100 * block + 10;
    const struct {
        const char* name;
        Spans kept;  // missing in the record before
        std::vector<std::pair<uint32_t, uint32_t>> marked;
        size_t capacity;
        Spans missing;
        uint64_t prefix;
    } rows[] = {
        {"nothing found", {{0, size}}, {}, 1024, {{0, size}}, 0},
        {"found but the ends", {{0, size}}, {{1, 99}}, 1024, {{0, block}, {100 * block, size}}, 0},
        {"a block between two merged", {{0, size}}, {{0, 10}, {11, 1}, {13, 87}}, 1024,
         {{10 * block, 13 * block}, {100 * block, size}}, 10 * block},
        {"a record's range, in blocks", {{5 * block + 1, 7 * block - 1}}, {}, 1024, {{5 * block, 7 * block}},
         5 * block},
        {"everything", {{0, size}}, {{0, 101}}, 1024, {}, size},
        {"too many ranges", {{0, size}}, {{1, 9}, {11, 9}, {21, 9}, {31, 69}}, 2,
         {{0, 31 * block}, {100 * block, size}}, 0},
    };
    for (const auto& row : rows) {
        ResumeState kept;
        kept.size = size;
        for (const auto& span : row.kept) kept.missing[kept.count++] = {span.first, span.second};
        BlockMap map;
        ASSERT_TRUE(map.Begin(size, static_cast<uint32_t>(block), kept)) << row.name;
        for (const auto& marked : row.marked) map.Mark(marked.first, marked.second);
        ByteRange missing[ResumeState::kMaxMissing];
        EXPECT_EQ(row.missing, SpansOf(missing, map.Missing(missing, row.capacity))) << row.name;
        EXPECT_EQ(row.prefix, map.WrittenPrefix()) << row.name;
    }
}

}  // namespace
