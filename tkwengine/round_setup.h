// How the opening request of a round sets up the rest of it.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <cstdint>

#include "tkwengine/target.h"
#include "tkwengine/validator.h"

class PrefixHash;
class RetryPace;
class StateFile;

// A connection asks for about four seconds' worth of its link at a time:
// each request costs a round trip and a new TCP window, while what is asked
// for is out of reach of a steal.
constexpr uint64_t kFirstSpan = 16ull << 20;

struct RoundSetup {
    HINTERNET session = nullptr;
    const Target* target = nullptr;
    uint64_t size = 0;    // of the whole file; 0 when not known
    bool exact = false;   // every piece asked by its exact range; else one connection reads one body
    bool single = false;  // every connection on the server that answered the opening request
    size_t connections = 1;
    size_t firstEndpoint = 0;  // where the opening request was answered; kNoEndpoint: none was
    uint32_t multipart = 0;    // a bit per endpoint that answers several ranges in one request
    Validator version;         // of the opening's answer: every piece comes from an answer of it
    const char* sha256 = "";   // the file's hash the record is bound to; empty: none
    bool compared = false;     // the record says an older copy was compared to its end
    // Between records. An older copy's blocks are written far faster than a
    // link brings bytes: saved often, their flushes keep the disk writing
    // while the copy is read, and little is left to flush at the end.
    DWORD stateIntervalMs = 1000;
    const char* part = nullptr;  // the part file, where the bytes go
    StateFile* state = nullptr;  // where the round keeps its record; nullptr: none kept
    PrefixHash* hash = nullptr;  // follows the written prefix; nullptr: no hash to check
    RetryPace* pace = nullptr;   // the servers that asked for time; nullptr: none kept
};
