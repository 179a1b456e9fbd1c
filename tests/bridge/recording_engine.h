// A scriptable engine for the bridge's tests: records every call with its
// arguments and answers as the test sets.
#pragma once
#include <string>
#include <vector>

#include "common/engine_contract.h"

struct EngineCall {
    std::string operation;
    std::string text;    // URL or folder
    uint64_t size = 0;   // expected size of StartDownload
};

struct RecordingEngine {
    static std::vector<EngineCall> calls;
    static int32_t startResult;
    static EngineInterface table;
    static void Reset();
};
