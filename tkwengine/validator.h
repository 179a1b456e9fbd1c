// What names one version of a server's file: its strong ETag, else its
// Last-Modified date, as the answer wrote it. A partial file keeps the one
// its bytes came with and resumes only from answers that carry it again.
#pragma once
#include <cstring>

struct Validator {
    static constexpr size_t kSize = 128;  // a longer one is not kept: none then
    char text[kSize] = {};

    bool Empty() const { return text[0] == '\0'; }
};

inline bool operator==(const Validator& a, const Validator& b) { return std::strcmp(a.text, b.text) == 0; }
inline bool operator!=(const Validator& a, const Validator& b) { return !(a == b); }
