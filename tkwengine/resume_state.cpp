#include "tkwengine/resume_state.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/text.h"

namespace {

constexpr char kMagic[8] = {'V', 'X', 'S', 'T', 'A', 'T', 'E', '1'};

struct Record {
    char magic[8];
    uint64_t size;
    uint32_t count;
    uint32_t unused;
    uint64_t missing[ResumeState::kMaxMissing][2];
    uint32_t check;  // over every byte before it: a torn or foreign record fails
    uint32_t padding;
};

uint32_t Checksum(const Record& record)
{
    uint32_t hash = 2166136261u;  // FNV-1a
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record);
    for (size_t i = 0; i < offsetof(Record, check); ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

// Sorted, within the file, neither empty nor overlapping.
bool Consistent(const ResumeState& state)
{
    uint64_t previousEnd = 0;
    for (size_t i = 0; i < state.count; ++i) {
        const ByteRange& range = state.missing[i];
        if (range.from < previousEnd || range.from >= range.to || range.to > state.size) return false;
        previousEnd = range.to;
    }
    return true;
}

bool ReadRecord(const char* path, Record& record)
{
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD got = 0;
    return file.Valid() && ReadFile(file.Get(), &record, sizeof record, &got, nullptr) && got == sizeof record;
}

}  // namespace

bool NameSideFiles(const char* localPath, SideFiles& out)
{
    return FormatText(out.part, sizeof out.part, "%s.vxpart", localPath) &&
           FormatText(out.state, sizeof out.state, "%s.vxstate", localPath);
}

void RemoveSideFiles(const SideFiles& files)
{
    DeleteFileA(files.state);
    DeleteFileA(files.part);
}

uint64_t ResumeState::MissingBytes() const
{
    uint64_t bytes = 0;
    for (size_t i = 0; i < count; ++i) bytes += missing[i].to - missing[i].from;
    return bytes;
}

bool LoadState(const SideFiles& files, uint64_t size, ResumeState& out)
{
    Record record = {};
    if (!ReadRecord(files.state, record) || std::memcmp(record.magic, kMagic, sizeof kMagic) != 0 ||
        record.check != Checksum(record) || record.size != size || record.count > ResumeState::kMaxMissing)
        return false;
    out.size = record.size;
    out.count = record.count;
    for (size_t i = 0; i < out.count; ++i) out.missing[i] = {record.missing[i][0], record.missing[i][1]};
    return Consistent(out) && GetFileAttributesA(files.part) != INVALID_FILE_ATTRIBUTES;
}

bool StateFile::Open(const char* path)
{
    handle_.Reset(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    return handle_.Valid();
}

bool StateFile::Save(ResumeState state)
{
    std::sort(state.missing, state.missing + state.count,
              [](const ByteRange& a, const ByteRange& b) { return a.from < b.from; });
    Record record = {};
    std::memcpy(record.magic, kMagic, sizeof kMagic);
    record.size = state.size;
    record.count = static_cast<uint32_t>(state.count);
    for (size_t i = 0; i < state.count; ++i) {
        record.missing[i][0] = state.missing[i].from;
        record.missing[i][1] = state.missing[i].to;
    }
    record.check = Checksum(record);
    OVERLAPPED start = {};
    DWORD written = 0;
    return WriteFile(handle_.Get(), &record, sizeof record, &written, &start) && written == sizeof record;
}
