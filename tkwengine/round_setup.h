// How the opening request of a round sets up the rest of it.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <cstdint>

#include "tkwengine/target.h"

class StateFile;

// A connection asks for about four seconds' worth of its link at a time:
// each request costs a round trip and a new TCP window, while what is asked
// for is out of reach of a steal.
constexpr uint64_t kFirstSpan = 16ull << 20;

struct RoundSetup {
    HINTERNET session = nullptr;
    const Target* target = nullptr;
    // Size of the whole file when every piece is asked by its exact range;
    // 0 for one connection reading one body to its end.
    uint64_t exactSize = 0;
    size_t connections = 1;
    size_t firstEndpoint = 0;  // where the opening request was answered
    StateFile* state = nullptr;
};
