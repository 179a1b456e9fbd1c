#include "tkwengine/old_copy.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "common/win_handles.h"
#include "tkwengine/block_scan.h"
#include "tkwengine/cancel_signal.h"
#include "tkwengine/chunk_pipe.h"
#include "tkwengine/follower.h"
#include "tkwengine/reporter.h"
#include "tkwengine/thread_guard.h"

namespace {

// A long comparison never looks like a hang.
constexpr DWORD kComparingIntervalMs = 500;
constexpr DWORD kTakeWaitMs = 100;

class CopyReader : public BlockScan::Source {
public:
    // Shared with anyone: the copy may be a running program.
    explicit CopyReader(const char* path)
        : file_(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr))
    {
    }
    bool Valid() const { return file_.Valid(); }
    bool Read(uint8_t* buffer, uint32_t size, uint32_t& got) override
    {
        DWORD read = 0;
        const bool ok = ReadFile(file_.Get(), buffer, size, &read, nullptr) != FALSE;
        got = read;
        return ok;
    }

private:
    FileHandle file_;
};

// The scan on a thread of its own, so that its strong sums and the writes
// of what it finds go on at once, each on its own core: blocks found one
// after the other, in the file and in the copy, go to the job's thread
// through the pipe, a buffer at a time.
class Scanner : public BlockScan::Sink {
public:
    Scanner(const BlockIndex& index, CopyReader& copy, const BlockMap& map, ChunkPipe& pipe,
            const CancelSignal& cancel)
        : index_(index), scan_(index), copy_(copy), map_(map), pipe_(pipe), cancel_(cancel)
    {
    }
    // The thread, once the scan has what it needs; false when it does not start.
    bool Start() { return scan_.Prepare() && thread_.Start<Scanner, &Scanner::Run>(this); }
    void Join() { thread_.Join(INFINITE); }
    // Read once joined: whether the copy was compared to its end.
    bool Whole() const { return whole_; }
    uint64_t Progress() const { return compared_; }

    bool Found(uint32_t block, const uint8_t* data, uint32_t size) override;
    bool Compared(uint64_t bytes) override;

private:
    void Run();
    bool Flush();

    const BlockIndex& index_;
    BlockScan scan_;
    CopyReader& copy_;
    const BlockMap& map_;
    ChunkPipe& pipe_;
    const CancelSignal& cancel_;
    uint32_t first_ = 0, count_ = 0;  // the blocks waiting to be handed over
    const uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
    std::atomic<uint64_t> compared_{0};
    bool whole_ = false;
    ThreadGuard thread_;  // last: joined before what it uses goes
};

void Scanner::Run()
{
    whole_ = scan_.Run(copy_, *this);
    pipe_.SenderDone();
}

bool Scanner::Found(uint32_t block, const uint8_t* data, uint32_t size)
{
    if (map_.Present(block) || (count_ > 0 && block >= first_ && block < first_ + count_)) return true;
    if (count_ > 0 && (block != first_ + count_ || data != data_ + size_) && !Flush()) return false;
    if (count_ == 0) {
        first_ = block;
        data_ = data;
        size_ = 0;
    }
    ++count_;
    size_ += size;
    return true;
}

bool Scanner::Compared(uint64_t bytes)
{
    compared_ = bytes;
    return Flush() && !cancel_.Raised();
}

// A buffer holds whole blocks: block sizes divide its size.
bool Scanner::Flush()
{
    const uint64_t offset = static_cast<uint64_t>(first_) * index_.blockSize;
    for (uint32_t done = 0; done < size_ && count_ > 0;) {
        char* buffer = pipe_.Acquire();
        if (!buffer) return false;
        const DWORD size = std::min<DWORD>(size_ - done, ChunkPipe::kBufferSize);
        std::memcpy(buffer, data_ + done, size);
        pipe_.Deliver({buffer, size, offset + done, 0});
        done += size;
    }
    count_ = 0;
    return true;
}

}  // namespace

Outcome CopyOldBlocks(const JobLinks& links, const char* path, const BlockIndex& index, const RoundSetup& setup,
                      PartFile& part, BlockMap& map, bool& whole)
{
    whole = false;
    CopyReader copy(path);
    if (!copy.Valid()) return Outcome::Ok;  // nothing to compare with: every block is fetched
    links.pipe.Reset(1);
    Scanner scanner(index, copy, map, links.pipe, links.cancel);
    Follower follower(setup, map);
    links.reporter.Comparing(0);
    follower.Start();
    if (!scanner.Start()) links.pipe.SenderDone();  // memory is short: every block is fetched
    Outcome written = Outcome::Ok;
    for (DWORD told = GetTickCount(); !links.cancel.Raised() && written == Outcome::Ok;) {
        Chunk chunk;
        if (links.pipe.Take(chunk, kTakeWaitMs)) {
            written = part.WriteAt(chunk.offset, chunk.data, chunk.size);
            const uint32_t block = static_cast<uint32_t>(chunk.offset / index.blockSize);
            if (written == Outcome::Ok) map.Mark(block, (chunk.size + index.blockSize - 1) / index.blockSize);
            links.pipe.Recycle(chunk.data);
        } else if (links.pipe.Drained()) {
            break;
        }
        if (GetTickCount() - told < kComparingIntervalMs) continue;
        links.reporter.Comparing(scanner.Progress());
        told = GetTickCount();
    }
    links.pipe.Shut();  // a scan still on its way stops
    scanner.Join();
    follower.Stop();
    if (links.cancel.Raised()) return Outcome::Cancelled;
    whole = written == Outcome::Ok && scanner.Whole();
    return written;
}
