#include "tkwengine/state_record.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

constexpr char kMagic[8] = {'V', 'X', 'S', 'T', 'A', 'T', 'E', '3'};
constexpr uint16_t kCompared = 1;

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

template <size_t N> bool Terminated(const char (&text)[N]) { return std::memchr(text, '\0', N) != nullptr; }

}  // namespace

uint32_t RecordChecksum(const StateRecord& record)
{
    uint32_t hash = 2166136261u;  // FNV-1a
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record);
    for (size_t i = 0; i < offsetof(StateRecord, check); ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

StateRecord SealRecord(ResumeState state)
{
    std::sort(state.missing, state.missing + state.count,
              [](const ByteRange& a, const ByteRange& b) { return a.from < b.from; });
    StateRecord record = {};
    std::memcpy(record.magic, kMagic, sizeof kMagic);
    record.size = state.size;
    record.count = static_cast<uint32_t>(state.count);
    record.port = state.server.port;
    record.flags = state.compared ? kCompared : 0;
    std::memcpy(record.version, state.version.text, sizeof record.version);
    std::memcpy(record.host, state.server.host, sizeof record.host);
    std::memcpy(record.sha256, state.sha256, sizeof record.sha256);
    for (size_t i = 0; i < state.count; ++i) {
        record.missing[i][0] = state.missing[i].from;
        record.missing[i][1] = state.missing[i].to;
    }
    record.check = RecordChecksum(record);
    return record;
}

bool OpenRecord(const StateRecord& record, uint64_t size, ResumeState& out)
{
    if (std::memcmp(record.magic, kMagic, sizeof kMagic) != 0 || record.check != RecordChecksum(record) ||
        record.size != size || record.count > ResumeState::kMaxMissing || (record.flags & ~kCompared) != 0 ||
        !Terminated(record.version) || !Terminated(record.host) || !Terminated(record.sha256))
        return false;
    ResumeState state;
    state.size = record.size;
    state.count = record.count;
    state.server.port = record.port;
    state.compared = (record.flags & kCompared) != 0;
    std::memcpy(state.version.text, record.version, sizeof record.version);
    std::memcpy(state.server.host, record.host, sizeof record.host);
    std::memcpy(state.sha256, record.sha256, sizeof record.sha256);
    for (size_t i = 0; i < state.count; ++i) state.missing[i] = {record.missing[i][0], record.missing[i][1]};
    if (!Consistent(state)) return false;
    out = state;
    return true;
}
