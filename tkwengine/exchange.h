// One HTTP GET against one endpoint, its request handle held by the cancel
// gate while it lives.
#pragma once
#include <cstdint>

#include "tkwengine/engine.h"
#include "common/win_handles.h"

// A dead or stalled server ends in an error, never a hang.
constexpr DWORD kTransferTimeoutMs = 4000;

class Exchange {
public:
    explicit Exchange(CancelGate& gate) : gate_(gate) {}
    ~Exchange() { Close(); }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    // Sends the request (with a range from offset when it is not 0); false
    // when the endpoint cannot be reached or the call was cancelled.
    bool Open(HINTERNET session, const HttpEndpoint& endpoint, const Target& target, uint64_t offset);
    void Close();

    HINTERNET Request() const { return request_; }
    DWORD Status() const { return status_; }
    // Start of a 206 answer's range, or 0.
    uint64_t RangeStart() const { return rangeStart_; }

private:
    void ReadHeaders();

    CancelGate& gate_;
    InetHandle connection_;
    HINTERNET request_ = nullptr;
    DWORD status_ = 0;
    uint64_t rangeStart_ = 0;
};
