// One HTTP GET against one endpoint, its request handle held by the
// registry of open requests while it lives.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/content_range.h"
#include "common/win_handles.h"
#include "tkwengine/byte_range.h"
#include "tkwengine/outcome.h"
#include "tkwengine/request_registry.h"
#include "tkwengine/target.h"
#include "tkwengine/validator.h"

// A dead or stalled server ends in an error, never a hang.
constexpr DWORD kTransferTimeoutMs = 4000;
// From connect to the answer's headers, TLS handshake included, where Wine
// keeps to no time-out of its own: a request that takes longer is left to
// the thread that makes it (common/bounded_task.h). Four tries of a silent
// server end in an error within about half a minute.
constexpr DWORD kSendBudgetMs = kTransferTimeoutMs + 2000;

// Ranges one request may ask for: servers refuse long Range headers, and
// some several hundred ranges.
constexpr size_t kMaxRangesPerRequest = 32;

class Exchange {
public:
    Exchange(RequestRegistry& requests, size_t slot) : requests_(requests), slot_(slot) {}
    ~Exchange() { Close(); }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    // Sends the request to target's path on endpoint, with a Range header
    // unless the whole file is asked for, and If-Range with a ranged one when
    // ifRange is not empty, and follows its redirects (common/redirect.h).
    // False, the exchange closed, when no answer comes within each hop's
    // budget, the call was cancelled, or a redirect cannot be followed (to
    // http from https, one hop too many, no Location).
    bool Open(HINTERNET session, const HttpEndpoint& endpoint, const Target& target, ByteRange range,
              const Validator& ifRange)
    {
        return Open(session, endpoint, target, &range, 1, ifRange);
    }
    // The same with count closed ranges (up to kMaxRangesPerRequest) in one request.
    bool Open(HINTERNET session, const HttpEndpoint& endpoint, const Target& target, const ByteRange* ranges,
              size_t count, const Validator& ifRange);
    void Close();
    // Closes it without waiting: WinINet under Wine reads what is left of a
    // kept-alive answer's body before it lets the request go, which from a
    // slow server takes as long as the body would; a thread of its own does.
    void Abandon();

    bool IsOpen() const { return request_ != nullptr; }
    HINTERNET Request() const { return request_; }
    DWORD Status() const { return status_; }
    // What the answer's status means for the transfer: Ok for 200 and 206.
    Outcome StatusOutcome() const;
    const ContentRange& Range() const { return contentRange_; }
    // The boundary of a 206 answer of several ranges (multipart/byteranges); empty for any other.
    const char* Boundary() const { return boundary_; }
    const Validator& Version() const { return version_; }
    // The wait a 503 or 429 answer asked for with Retry-After; 0: none.
    DWORD RetryAfterMs() const { return retryAfterMs_; }
    // Whether the answer can serve a file of size bytes (0: unknown) whose
    // kept bytes are of version kept (empty: none kept): its status's
    // outcome, SizeChanged for another length or total, FileChanged for a
    // 206 of another version.
    Outcome Fits(uint64_t size, const Validator& kept) const;
    // A 206 carrying exactly range of a file of total bytes, of version
    // (any when empty).
    bool Carries(ByteRange range, uint64_t total, const Validator& version) const;
    // A 206 of several parts (checked as they are read), of version (any when empty).
    bool CarriesParts(const Validator& version) const;

private:
    static constexpr DWORD kNoStatus = 0;  // no answer read
    static constexpr size_t kBoundarySize = 72;  // 70 characters at most

    bool Send(HINTERNET session, const char* url, const char* headers);
    void ReadHeaders();

    RequestRegistry& requests_;
    size_t slot_;
    InetHandle connection_;
    HINTERNET request_ = nullptr;
    DWORD status_ = kNoStatus;
    ContentRange contentRange_;
    char boundary_[kBoundarySize] = {};
    uint64_t length_ = 0;
    bool lengthKnown_ = false;
    Validator version_;
    DWORD retryAfterMs_ = 0;
};
