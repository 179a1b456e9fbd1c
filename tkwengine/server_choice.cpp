#include "tkwengine/server_choice.h"

#include <cstring>

namespace {

size_t HighestBit(uint32_t bits)
{
    size_t highest = 0;
    while (bits >>= 1) ++highest;
    return highest;
}

}  // namespace

size_t ServerChoice::Order(size_t preferred, size_t (&out)[Target::kMaxEndpoints]) const
{
    size_t count = 0;
    if (preferred != kNone && preferred >= first_ && preferred < count_) out[count++] = preferred;
    for (size_t index = first_; index < count_; ++index)
        if (index != preferred) out[count++] = index;
    return count;
}

// Every copy names at least the server that answered its first opening request.
bool ServerChoice::PassBadCopy(uint32_t sources)
{
    uint32_t servers = sources & ~kEarlierRun;
    bool fromOne = servers != 0 && (servers & (servers - 1)) == 0 && !(sources & kEarlierRun);
    first_ = single_ || fromOne ? HighestBit(servers) + 1 : 0;
    single_ = true;
    return first_ < count_;
}
