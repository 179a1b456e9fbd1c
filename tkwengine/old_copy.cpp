#include "tkwengine/old_copy.h"

#include "common/win_handles.h"
#include "tkwengine/block_scan.h"
#include "tkwengine/cancel_signal.h"
#include "tkwengine/follower.h"
#include "tkwengine/reporter.h"

namespace {

// A long comparison never looks like a hang.
constexpr DWORD kComparingIntervalMs = 500;

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

// Blocks found one after the other, in the file and in the copy, go into
// the part file in one write.
class BlockWriter : public BlockScan::Sink {
public:
    BlockWriter(const JobLinks& links, const BlockIndex& index, PartFile& part, BlockMap& map)
        : links_(links), index_(index), part_(part), map_(map), told_(GetTickCount())
    {
    }
    bool Found(uint32_t block, const uint8_t* data, uint32_t size) override;
    bool Compared(uint64_t bytes) override;
    Outcome Failure() const { return failure_; }

private:
    bool Flush();

    const JobLinks& links_;
    const BlockIndex& index_;
    PartFile& part_;
    BlockMap& map_;
    uint32_t first_ = 0, count_ = 0;  // the blocks waiting to be written
    const uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
    DWORD told_;
    Outcome failure_ = Outcome::Ok;
};

bool BlockWriter::Found(uint32_t block, const uint8_t* data, uint32_t size)
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

bool BlockWriter::Compared(uint64_t bytes)
{
    if (!Flush() || links_.cancel.Raised()) return false;
    if (GetTickCount() - told_ >= kComparingIntervalMs) {
        links_.reporter.Comparing(bytes);
        told_ = GetTickCount();
    }
    return true;
}

bool BlockWriter::Flush()
{
    if (count_ == 0) return true;
    const Outcome written = part_.WriteAt(static_cast<uint64_t>(first_) * index_.blockSize, data_, size_);
    if (written != Outcome::Ok) {
        failure_ = written;
        return false;
    }
    map_.Mark(first_, count_);
    count_ = 0;
    return true;
}

}  // namespace

Outcome CopyOldBlocks(const JobLinks& links, const char* path, const BlockIndex& index, const RoundSetup& setup,
                      PartFile& part, BlockMap& map, bool& whole)
{
    whole = false;
    CopyReader copy(path);
    BlockScan scan(index);
    if (!copy.Valid() || !scan.Prepare()) return Outcome::Ok;  // nothing to compare with: every block is fetched
    BlockWriter writer(links, index, part, map);
    Follower follower(setup, map);
    links.reporter.Comparing(0);
    follower.Start();
    whole = scan.Run(copy, writer);
    follower.Stop();
    if (links.cancel.Raised()) return Outcome::Cancelled;
    return writer.Failure();
}
