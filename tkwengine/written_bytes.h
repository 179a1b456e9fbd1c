// What a writer has put into a part file, as the record keeps it and the
// hash follows it: the pieces of a round, or the blocks an older copy gave.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tkwengine/byte_range.h"

class WrittenBytes {
public:
    // [from, to) of what is still missing, at most capacity ranges, never
    // claiming a byte that is not written; returns how many.
    virtual size_t Missing(ByteRange* out, size_t capacity) const = 0;
    // Every byte before it is on disk.
    virtual uint64_t WrittenPrefix() const = 0;

protected:
    ~WrittenBytes() = default;
};
