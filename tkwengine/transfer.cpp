// One download job: local checks, the request (own host, then mirrors),
// the body pumped into the file, and the closing events.
#include <algorithm>

#include "common/net_timeouts.h"
#include "tkwengine/engine.h"
#include "tkwengine/exchange.h"
#include "tkwengine/local_file.h"

namespace {

constexpr int32_t kCancelled = -1;  // ends silently
constexpr DWORD kProgressIntervalMs = 100;
constexpr DWORD kReadTargetMs = 50;
constexpr DWORD kMinReadSize = 4096;

int32_t StatusError(DWORD status)
{
    if (status == 200 || status == 206) return 0;
    if (status == 403) return kErrorHttp403;
    if (status == 404 || status == 410) return kErrorHttp404;
    if (status == 416) return kErrorRangeRefused;
    return kErrorNetwork;
}

// Tries the URL's own host, then each mirror, past unreachable hosts and 5xx answers.
int32_t OpenAnywhere(Engine& engine, HINTERNET session, const Target& target, uint64_t offset, Exchange& exchange)
{
    bool serverError = false;
    for (size_t i = 0; i < target.count; ++i) {
        if (engine.Gate().Cancelled()) return kCancelled;
        if (!exchange.Open(session, target.endpoints[i], target, offset)) continue;
        if (exchange.Status() >= 500) {
            serverError = true;
            exchange.Close();
            continue;
        }
        return StatusError(exchange.Status());
    }
    if (engine.Gate().Cancelled()) return kCancelled;
    return serverError ? kErrorServer : kErrorNetwork;
}

// Sizes the next read to last about kReadTargetMs at the rate just seen: the
// whole buffer on fast links (few calls, the most throughput), small reads
// on slow ones so progress stays prompt while a read blocks. It grows at
// most twofold per read: a read served from data already buffered says
// little about the link.
DWORD NextReadSize(DWORD want, DWORD got, DWORD elapsedMs)
{
    uint64_t paced = static_cast<uint64_t>(got) * kReadTargetMs / std::max<DWORD>(elapsedMs, 1);
    uint64_t size = std::min<uint64_t>(paced, static_cast<uint64_t>(want) * 2);
    return static_cast<DWORD>(std::clamp<uint64_t>(size, kMinReadSize, Engine::kBufferSize));
}

// Copies the body into the file; done counts the bytes present.
int32_t Pump(Engine& engine, HINTERNET request, TargetFile& file, uint64_t& done)
{
    DWORD lastReport = GetTickCount();
    DWORD want = kMinReadSize;
    for (;;) {
        DWORD got = 0, before = GetTickCount();
        if (!InternetReadFile(request, engine.Buffer(), want, &got)) break;
        if (got == 0) return 0;
        if (engine.Gate().Cancelled()) return kCancelled;
        DWORD now = GetTickCount();
        want = NextReadSize(want, got, now - before);
        if (int32_t error = file.Write(engine.Buffer(), got)) return error;
        done += got;
        if (now - lastReport >= kProgressIntervalMs) {
            engine.Report(kEngineProgress, done);
            lastReport = now;
        }
    }
    return engine.Gate().Cancelled() ? kCancelled : kErrorNetwork;
}

int32_t Download(Engine& engine, const Job& job, TargetFile& file, uint64_t& done)
{
    const uint64_t present = done;
    InetHandle session(InternetOpenA("Vexil Engine", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.Get()) return kErrorNetwork;
    ApplyTimeouts(session.Get(), kTransferTimeoutMs);
    Exchange exchange(engine.Gate());
    if (int32_t error = OpenAnywhere(engine, session.Get(), job.target, present, exchange)) return error;
    // A 200 (or a range other than asked) means the whole body comes again.
    bool resumed = present > 0 && exchange.Status() == 206 && exchange.RangeStart() == present;
    if (exchange.Status() == 206 && !resumed) return kErrorRangeRefused;
    done = resumed ? present : 0;
    if (!file.TruncateAt(done)) return kErrorWriteFailed;
    engine.Report(kEngineStarted, done);
    if (int32_t error = Pump(engine, exchange.Request(), file, done)) return error;
    if (job.expected && done < job.expected) return kErrorNetwork;
    engine.Report(kEngineProgress, done);
    return 0;
}

// The file is closed when this returns, so Finished can follow.
int32_t Transfer(Engine& engine, const Job& job, uint64_t& done)
{
    TargetFile file;
    if (int32_t error = file.Open(job.localPath)) return error;
    done = file.Size();
    if (job.expected && done == job.expected) {
        engine.Report(kEngineStarted, done);
        return 0;
    }
    // Larger than expected: not ours to continue, fetch it whole.
    if (done > job.expected) done = 0;
    if (int32_t error = CheckVolume(job.folder, job.expected, done)) return error;
    if (int32_t error = Download(engine, job, file, done)) return error;
    return file.Close() ? 0 : kErrorWriteFailed;
}

}  // namespace

void RunTransfer(Engine& engine, const Job& job)
{
    uint64_t done = 0;
    // The program may start the file the moment it hears Finished: Windows
    // refuses to run a file that any handle still holds open for writing.
    int32_t error = Transfer(engine, job, done);
    if (error == 0) engine.Report(kEngineFinished, done);
    if (error > 0) engine.Report(kEngineError, static_cast<uint64_t>(error));
}
