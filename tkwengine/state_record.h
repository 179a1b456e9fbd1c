// The resume state as it lies in "<name>.vxstate": one record of fixed size,
// always written whole.
#pragma once
#include <cstdint>

#include "tkwengine/resume_state.h"

struct StateRecord {
    char magic[8];
    uint64_t size;
    uint32_t count;
    uint16_t port;
    uint16_t flags;
    uint64_t missing[ResumeState::kMaxMissing][2];
    char version[Validator::kSize];
    char host[sizeof HttpEndpoint::host];
    char sha256[kSha256TextSize];
    char unused[3];
    uint32_t check;  // over every byte before it: a torn or foreign record fails
    uint32_t padding;
};

// The record of state, its ranges sorted.
StateRecord SealRecord(ResumeState state);
uint32_t RecordChecksum(const StateRecord& record);
// The state a record holds for a file of this size; false for a damaged
// record, another format's (the earlier ones, which kept no version or no
// hash, among them) or another file's.
bool OpenRecord(const StateRecord& record, uint64_t size, ResumeState& out);
