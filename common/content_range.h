// What an answer to a ranged request says it carries.
#pragma once
#include <cstdint>

// "bytes FIRST-LAST/TOTAL"
struct ContentRange {
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t total = 0;
    bool startKnown = false;  // first at least could be read
    bool valid = false;       // all three, and consistent
};

ContentRange ParseContentRange(const char* text);

// Decimal digits and nothing else, up to the delimiter, past which text
// then points; false for anything else.
bool ParseDecimal(const char*& text, char delimiter, uint64_t& out);
