#include "common/block_index.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kVersion = 1;

uint32_t Load32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

uint64_t Load64(const uint8_t* p) { return Load32(p) | static_cast<uint64_t>(Load32(p + 4)) << 32; }

void Put32(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i));
}

void Put64(std::string& out, uint64_t value)
{
    Put32(out, static_cast<uint32_t>(value));
    Put32(out, static_cast<uint32_t>(value >> 32));
}

uint64_t BlocksOf(uint64_t fileSize, uint32_t blockSize) { return (fileSize + blockSize - 1) / blockSize; }

bool Digest(const uint8_t* bytes, size_t size, uint8_t (&digest)[kSha256Size])
{
    Sha256 sha;
    return sha.Add(bytes, static_cast<DWORD>(size)) && sha.Finish(digest);
}

}  // namespace

uint32_t BlockSizeFor(uint64_t fileSize)
{
    if (fileSize == 0) return 0;
    int bits = 0;
    while (bits < 63 && (fileSize >> (bits + 1)) != 0) ++bits;
    uint64_t size = uint64_t{1} << ((bits + 1) / 2);
    size = size < kMinBlockSize ? kMinBlockSize : size > kMaxBlockSize ? kMaxBlockSize : size;
    while (size <= kMaxBlockSize && BlocksOf(fileSize, static_cast<uint32_t>(size)) > kMaxBlocks) size *= 2;
    return size <= kMaxBlockSize ? static_cast<uint32_t>(size) : 0;
}

void RollingSum::Start(const uint8_t* window, uint32_t size)
{
    a_ = b_ = 0;
    size_ = size;
    for (uint32_t i = 0; i < size; ++i) {
        a_ += window[i];
        b_ += a_;
    }
}

void StrongSum(Sha256& sha, const uint8_t* block, uint32_t size, uint8_t (&out)[kStrongSumSize])
{
    uint8_t digest[kSha256Size] = {};
    sha.Restart();
    sha.Add(block, size);
    sha.Finish(digest);
    std::memcpy(out, digest, sizeof out);
}

uint32_t BlockIndex::Weak(uint32_t block) const { return Load32(entries + block * kBlockEntrySize); }

uint32_t BlockIndex::Length(uint32_t block) const
{
    const uint64_t start = static_cast<uint64_t>(block) * blockSize;
    return fileSize - start < blockSize ? static_cast<uint32_t>(fileSize - start) : blockSize;
}

bool ReadBlockIndex(const uint8_t* bytes, size_t size, BlockIndex& out)
{
    if (size < kBlockIndexHeaderSize + kSha256Size || size > kMaxBlockIndexSize ||
        std::memcmp(bytes, kBlockIndexMagic, sizeof kBlockIndexMagic) != 0 || Load32(bytes + 8) != kVersion)
        return false;
    BlockIndex index;
    index.blockSize = Load32(bytes + 12);
    index.fileSize = Load64(bytes + 16);
    std::memcpy(index.sha256, bytes + 24, sizeof index.sha256);
    index.blockCount = Load32(bytes + 56);
    index.entries = bytes + kBlockIndexHeaderSize;
    const uint32_t blockSize = index.blockSize;
    if (blockSize < kMinBlockSize || blockSize > kMaxBlockSize || (blockSize & (blockSize - 1)) != 0 ||
        index.fileSize == 0 || index.blockCount > kMaxBlocks ||
        BlocksOf(index.fileSize, blockSize) != index.blockCount || Load32(bytes + 60) != 0 ||
        size != kBlockIndexHeaderSize + index.blockCount * kBlockEntrySize + kSha256Size)
        return false;
    uint8_t check[kSha256Size];
    if (!Digest(bytes, size - kSha256Size, check) || std::memcmp(check, bytes + size - kSha256Size, kSha256Size) != 0)
        return false;
    out = index;
    return true;
}

BlockIndexWriter::BlockIndexWriter(uint64_t fileSize) : fileSize_(fileSize), blockSize_(BlockSizeFor(fileSize))
{
    block_.reserve(blockSize_);
}

void BlockIndexWriter::Add(const uint8_t* data, size_t size)
{
    added_ += size;
    file_.Add(data, static_cast<DWORD>(size));
    if (!Usable()) return;
    while (size > 0) {
        const size_t taken = std::min<size_t>(size, blockSize_ - block_.size());
        block_.append(reinterpret_cast<const char*>(data), taken);
        data += taken;
        size -= taken;
        if (block_.size() == blockSize_) EndBlock();
    }
}

void BlockIndexWriter::EndBlock()
{
    block_.resize(blockSize_, '\0');  // a short last block, as the engine's scan sees it at an old copy's end
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(block_.data());
    RollingSum weak;
    weak.Start(bytes, blockSize_);
    uint8_t strong[kStrongSumSize];
    StrongSum(sums_, bytes, blockSize_, strong);
    Put32(entries_, weak.Value());
    entries_.append(reinterpret_cast<const char*>(strong), sizeof strong);
    block_.clear();
}

bool BlockIndexWriter::Finish(std::string& index, char (&hex)[kSha256TextSize])
{
    uint8_t digest[kSha256Size];
    index.clear();
    if (added_ != fileSize_ || !file_.Finish(digest)) return false;
    DigestText(digest, hex);
    if (!Usable()) return true;
    if (!block_.empty()) EndBlock();
    index.assign(kBlockIndexMagic, sizeof kBlockIndexMagic);
    Put32(index, kVersion);
    Put32(index, blockSize_);
    Put64(index, fileSize_);
    index.append(reinterpret_cast<const char*>(digest), sizeof digest);
    Put32(index, static_cast<uint32_t>(BlocksOf(fileSize_, blockSize_)));
    Put32(index, 0);
    index += entries_;
    uint8_t check[kSha256Size];
    if (!Digest(reinterpret_cast<const uint8_t*>(index.data()), index.size(), check)) return false;
    index.append(reinterpret_cast<const char*>(check), sizeof check);
    return true;
}
