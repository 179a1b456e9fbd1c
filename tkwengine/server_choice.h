// Which of a file's servers (the URL's own host, then the mirrors) its
// rounds ask. At first a round's opening request goes to them in turn and
// its other connections spread over them, every piece from an answer of the
// opening's version. Once the file changed under kept bytes, each round
// keeps to the one server that answered its opening.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tkwengine/target.h"

class ServerChoice {
public:
    static constexpr size_t kNone = SIZE_MAX;

    explicit ServerChoice(size_t count) : count_(count) {}

    bool Single() const { return single_; }
    void KeepToOne() { single_ = true; }
    // The servers an opening request goes to, in turn: preferred first (kNone:
    // none) when it is among them. Returns how many.
    size_t Order(size_t preferred, size_t (&out)[Target::kMaxEndpoints]) const;

private:
    size_t count_;
    bool single_ = false;
};

// The index of endpoint among target's, or ServerChoice::kNone.
size_t FindEndpoint(const Target& target, const HttpEndpoint& endpoint);
