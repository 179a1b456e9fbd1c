// A span of a file's bytes, as pieces, requests and the resume state name it.
#pragma once
#include <cstdint>

// Bytes [from, to) of a file; to 0 asks for everything from `from` on.
struct ByteRange {
    uint64_t from = 0;
    uint64_t to = 0;
};
