// The resume state on disk: a saved state loads back, with the version,
// server, file's hash and comparison it was saved with, and every damaged or foreign record is refused,
// as is one whose part file holds fewer bytes than it claims.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "support/temp_dir.h"
#include "tkwengine/state_record.h"

namespace {

constexpr uint64_t kSize = 1000;

void Intact(StateRecord&) {}

std::string Bytes(const StateRecord& record, size_t count = sizeof(StateRecord))
{
    return std::string(reinterpret_cast<const char*>(&record), count);
}

TEST(ResumeState, LoadsOnlyAnIntactRecordOfTheSameFile)
{
    struct Row {
        const char* name;
        void (*damage)(StateRecord&);
        bool resealed;  // a checksum made afresh over the damage
        bool loads;
        uint64_t size = kSize;  // of the file it is loaded for
        size_t bytes = sizeof(StateRecord);
        size_t part = kSize;  // bytes in the part file; SIZE_MAX: no part file
    } const rows[] = {
        {"intact", Intact, false, true},
        {"nothing missing", [](StateRecord& r) { r.count = 0; }, true, true},
        {"short", Intact, false, false, kSize, sizeof(StateRecord) - 1},
        {"wrong magic", [](StateRecord& r) { r.magic[7] = '4'; }, true, false},
        {"an earlier format, without a version", [](StateRecord& r) { r.magic[7] = '1'; }, true, false},
        {"an earlier format, without the file's hash", [](StateRecord& r) { r.magic[7] = '2'; }, true, false},
        {"a hash without its end", [](StateRecord& r) { std::memset(r.sha256, 'a', sizeof r.sha256); }, true, false},
        {"an unknown flag", [](StateRecord& r) { r.flags |= 2; }, true, false},
        {"a version without its end", [](StateRecord& r) { std::memset(r.version, 'x', sizeof r.version); }, true,
         false},
        {"bad checksum", [](StateRecord& r) { r.check ^= 1; }, false, false},
        {"torn", [](StateRecord& r) { r.missing[1][1] = 800; }, false, false},
        {"another size", Intact, false, false, kSize + 1},
        {"too many ranges", [](StateRecord& r) { r.count = ResumeState::kMaxMissing + 1; }, true, false},
        {"a count past any file", [](StateRecord& r) { r.count = UINT32_MAX; }, true, false},
        {"unsorted", [](StateRecord& r) { std::swap(r.missing[0], r.missing[1]); }, true, false},
        {"overlapping", [](StateRecord& r) { r.missing[1][0] = 150; }, true, false},
        {"an empty range", [](StateRecord& r) { r.missing[1][1] = 600; }, true, false},
        {"past the end", [](StateRecord& r) { r.missing[1][1] = kSize + 1; }, true, false},
        {"no part file", Intact, false, false, kSize, sizeof(StateRecord), SIZE_MAX},
        {"a part shorter than claimed", Intact, false, false, kSize, sizeof(StateRecord), kSize - 1},
        {"a part of the claimed bytes", [](StateRecord& r) { r.missing[1][1] = kSize; }, true, true, kSize,
         sizeof(StateRecord), 600},
    };
    const std::string dir = FreshTempDir("state");
    SideFiles files;
    ASSERT_TRUE(NameSideFiles((dir + "\\file.bin").c_str(), files));
    ResumeState saved;
    saved.size = kSize;
    saved.count = 2;
    saved.missing[0] = {600, 700};  // sorted on the way
    saved.missing[1] = {100, 200};
    CopyText(saved.version.text, "\"v1\"");
    CopyText(saved.server.host, "mirror.example");
    saved.server.port = 8080;
    CopyText(saved.sha256, std::string(64, 'c').c_str());
    saved.compared = true;
    StateFile file;
    ASSERT_TRUE(file.Open(files.state));
    ASSERT_TRUE(file.Save(saved));
    file.Close();
    ASSERT_EQ(Bytes(SealRecord(saved)), ReadWholeFile(files.state));
    for (const Row& row : rows) {
        StateRecord record = SealRecord(saved);
        row.damage(record);
        if (row.resealed) record.check = RecordChecksum(record);
        WriteWholeFile(files.state, Bytes(record, row.bytes));
        DeleteFileA(files.part);
        if (row.part != SIZE_MAX) WriteWholeFile(files.part, std::string(row.part, 'p'));
        ResumeState loaded;
        ASSERT_EQ(row.loads, LoadState(files, row.size, loaded)) << row.name;
        if (!row.loads) continue;
        std::vector<std::pair<uint64_t, uint64_t>> kept, expected = {{100, 200}, {600, record.missing[1][1]}};
        for (size_t i = 0; i < loaded.count; ++i) kept.push_back({loaded.missing[i].from, loaded.missing[i].to});
        expected.resize(record.count);
        EXPECT_EQ(kSize, loaded.size) << row.name;
        EXPECT_EQ(expected, kept) << row.name;
        EXPECT_STREQ("\"v1\"", loaded.version.text) << row.name;
        EXPECT_STREQ("mirror.example", loaded.server.host) << row.name;
        EXPECT_EQ(8080, loaded.server.port) << row.name;
        EXPECT_EQ(std::string(64, 'c'), loaded.sha256) << row.name;
        EXPECT_TRUE(loaded.compared) << row.name;
    }
    RemoveSideFiles(files);
    RemoveDirectoryA(dir.c_str());
}

}  // namespace
