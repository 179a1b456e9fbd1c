#include "tkwengine/index_fetch.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "tkwengine/body_reader.h"
#include "tkwengine/cancel_signal.h"
#include "tkwengine/exchange.h"

namespace {

constexpr size_t kMagicAsked = 4;  // the magic's first bytes; the reader knows the others
constexpr DWORD kReadSize = 1 << 20;

bool ReadExactly(BodyReader& body, uint8_t* into, size_t size)
{
    for (size_t done = 0; done < size;) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(size - done, kReadSize));
        if (!body.Read(reinterpret_cast<char*>(into + done), want, got) || got == 0) return false;
        done += got;
    }
    return true;
}

// A body read to its end, within the index's bound.
bool ReadWhole(BodyReader& body, FetchedIndex& out)
{
    out.bytes.reset(new (std::nothrow) uint8_t[kMaxBlockIndexSize + 1]);
    out.size = 0;
    if (!out.bytes) return false;
    for (;;) {
        const size_t room = kMaxBlockIndexSize + 1 - out.size;
        DWORD got = 0;
        if (room == 0) return false;
        if (!body.Read(reinterpret_cast<char*>(out.bytes.get() + out.size),
                       static_cast<DWORD>(std::min<size_t>(room, kReadSize)), got))
            return false;
        if (got == 0) return true;
        out.size += got;
    }
}

// The two parts the probe asked for, and the magic's bytes between them.
bool ReadParts(BodyReader& body, const char* boundary, FetchedIndex& out)
{
    PartReader parts(body, boundary);
    ContentRange head, rest;
    if (!parts.NextPart(head) || head.first != 0 || head.last + 1 != kMagicAsked || head.total > kMaxBlockIndexSize)
        return false;
    out.size = static_cast<size_t>(head.total);
    out.bytes.reset(new (std::nothrow) uint8_t[out.size]);
    if (!out.bytes || !ReadExactly(parts, out.bytes.get(), kMagicAsked) || !parts.NextPart(rest) ||
        rest.first != sizeof kBlockIndexMagic || rest.last + 1 != out.size || rest.total != out.size)
        return false;
    std::memcpy(out.bytes.get() + kMagicAsked, kBlockIndexMagic + kMagicAsked, sizeof kBlockIndexMagic - kMagicAsked);
    return ReadExactly(parts, out.bytes.get() + sizeof kBlockIndexMagic, out.size - sizeof kBlockIndexMagic);
}

// The index as endpoint has it: from the probe's answer when that is its two
// parts or the whole index, else from a plain request; several tells which.
bool Ask(const JobLinks& links, const Job& job, const HttpEndpoint& endpoint, FetchedIndex& out, bool& several)
{
    Exchange exchange(links.requests, 0);
    const ByteRange probe[2] = {{0, kMagicAsked}, {sizeof kBlockIndexMagic, 0}};
    if (!exchange.Open(links.session, endpoint, job.blocks, probe, 2, Validator())) return false;
    RequestBody body(exchange.Request());
    several = exchange.CarriesParts(Validator());
    if (several) return ReadParts(body, exchange.Boundary(), out);
    if (exchange.Status() == HTTP_STATUS_OK) return ReadWhole(body, out);
    if (exchange.Status() != HTTP_STATUS_PARTIAL_CONTENT) return false;
    // One range of the two: a small body to leave unread.
    if (!exchange.Open(links.session, endpoint, job.blocks, ByteRange{0, 0}, Validator()) ||
        exchange.Status() != HTTP_STATUS_OK)
        return false;
    RequestBody whole(exchange.Request());
    return ReadWhole(whole, out);
}

bool OfTheFile(const FetchedIndex& fetched, const Job& job)
{
    char hex[kSha256TextSize];
    DigestText(fetched.index.sha256, hex);
    return fetched.index.fileSize == job.expected && std::strcmp(hex, job.sha256) == 0;
}

}  // namespace

Outcome FetchIndex(const JobLinks& links, const Job& job, FetchedIndex& out)
{
    for (size_t turn = 0; turn < job.blocks.count; ++turn) {
        const HttpEndpoint& endpoint = job.blocks.endpoints[turn];
        bool several = false;
        const bool read = Ask(links, job, endpoint, out, several);
        if (links.cancel.Raised()) return Outcome::Cancelled;
        // Unreachable, failing, damaged or another file's: the next server's may do.
        if (!read || !ReadBlockIndex(out.bytes.get(), out.size, out.index) || !OfTheFile(out, job)) continue;
        const size_t server = job.blocks.secure == job.target.secure ? FindEndpoint(job.target, endpoint) : kNoEndpoint;
        if (several && server != kNoEndpoint) out.multipart |= 1u << server;
        return Outcome::Ok;
    }
    return Outcome::NotFound;
}
