// Which of a file's servers (the URL's own host, then the mirrors) its
// rounds ask. At first a round's opening request goes to them in turn and
// its other connections spread over them, every piece from an answer of the
// opening's version. Once the file changed under kept bytes, or a copy
// failed the file's hash, each round keeps to the one server that answered
// its opening. A failed copy that came from one server sends the next
// copies past it; one that came from several (or partly from an earlier
// run) has every server tried alone, from the host on.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tkwengine/target.h"

class ServerChoice {
public:
    // A copy's sources: a bit per server index, and this one for bytes kept
    // from an earlier run, whose server is not known.
    static constexpr uint32_t kEarlierRun = 1u << 31;
    static constexpr size_t kNone = kNoEndpoint;

    explicit ServerChoice(size_t count) : count_(count) {}

    bool Single() const { return single_; }
    void KeepToOne() { single_ = true; }
    // The servers an opening request goes to, in turn: preferred first (kNone:
    // none) when it is among them. Returns how many.
    size_t Order(size_t preferred, size_t (&out)[Target::kMaxEndpoints]) const;
    // After a copy from sources failed the hash; false when no server is left.
    bool PassBadCopy(uint32_t sources);

private:
    size_t count_;
    size_t first_ = 0;
    bool single_ = false;
};
