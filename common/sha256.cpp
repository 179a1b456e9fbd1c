#include "common/sha256.h"

#include <cpuid.h>
#include <immintrin.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

alignas(16) constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

bool HasShaInstructions()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    const bool sse41 = __get_cpuid(1, &a, &b, &c, &d) && (c & bit_SSE4_1) && (c & bit_SSSE3);
    return sse41 && __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
}

// Compresses count 64-byte blocks into state with the SHA instructions: the
// state as the ABEF and CDGH halves they work on, the message schedule four
// words at a time. Threads of Windows may call it with a stack aligned to 4
// bytes only, where a spilled vector register would fault.
__attribute__((target("sha,sse4.1,ssse3"), force_align_arg_pointer)) void Compress(uint32_t (&state)[8],
                                                                                   const uint8_t* data, size_t count)
{
    const __m128i swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0])), 0xB1);
    __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4])), 0x1B);
    __m128i abef = _mm_alignr_epi8(dcba, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, dcba, 0xF0);
    for (; count > 0; --count, data += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        __m128i words[4];
        for (int group = 0; group < 16; ++group) {
            __m128i& w = words[group & 3];
            if (group < 4)
                w = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * group)), swap);
            else
                w = _mm_sha256msg2_epu32(
                    _mm_add_epi32(_mm_sha256msg1_epu32(w, words[(group + 1) & 3]),
                                  _mm_alignr_epi8(words[(group + 3) & 3], words[(group + 2) & 3], 4)),
                    words[(group + 3) & 3]);
            __m128i wk = _mm_add_epi32(w, _mm_load_si128(reinterpret_cast<const __m128i*>(&kRound[4 * group])));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

}  // namespace

Sha256::Sha256() : own_(HasShaInstructions())
{
    if (!own_ && !BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        algorithm_ = nullptr;
    Restart();
}

void Sha256::Restart()
{
    if (own_) {
        std::memcpy(state_, kInitial, sizeof state_);
        buffered_ = 0;
        total_ = 0;
        return;
    }
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    hash_ = nullptr;
    if (algorithm_ != nullptr && !BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0)))
        hash_ = nullptr;
}

Sha256::~Sha256()
{
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
}

bool Sha256::Add(const void* data, DWORD size)
{
    if (own_) return AddOwn(static_cast<const uint8_t*>(data), size);
    return hash_ != nullptr &&
           BCRYPT_SUCCESS(BCryptHashData(hash_, static_cast<PUCHAR>(const_cast<void*>(data)), size, 0));
}

bool Sha256::AddOwn(const uint8_t* data, size_t size)
{
    total_ += size;
    if (buffered_) {
        const size_t taken = std::min(size, sizeof block_ - buffered_);
        std::memcpy(block_ + buffered_, data, taken);
        buffered_ += taken;
        data += taken;
        size -= taken;
        if (buffered_ < sizeof block_) return true;
        Compress(state_, block_, 1);
        buffered_ = 0;
    }
    Compress(state_, data, size / 64);
    buffered_ = size % 64;
    std::memcpy(block_, data + size - buffered_, buffered_);
    return true;
}

// The padding: a one bit, zeros, and the length in bits, big-endian.
void Sha256::FinishOwn(uint8_t (&digest)[kSha256Size])
{
    const uint64_t bits = total_ * 8;
    uint8_t tail[72] = {0x80};
    const size_t padding = (buffered_ < 56 ? 56 : 120) - buffered_;
    for (int i = 0; i < 8; ++i) tail[padding + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    AddOwn(tail, padding + 8);
    for (size_t i = 0; i < 32; ++i) digest[i] = static_cast<uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
}

bool Sha256::Finish(uint8_t (&digest)[kSha256Size])
{
    if (own_) {
        FinishOwn(digest);
        return true;
    }
    return hash_ != nullptr && BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest, sizeof digest, 0));
}

bool Sha256::Finish(char (&hex)[kSha256TextSize])
{
    uint8_t digest[kSha256Size];
    if (!Finish(digest)) return false;
    DigestText(digest, hex);
    return true;
}

void DigestText(const uint8_t (&digest)[kSha256Size], char (&hex)[kSha256TextSize])
{
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < kSha256Size; ++i) {
        hex[2 * i] = kDigits[digest[i] >> 4];
        hex[2 * i + 1] = kDigits[digest[i] & 15];
    }
    hex[kSha256TextSize - 1] = '\0';
}

bool ReadSha256Text(const char* text, char (&hex)[kSha256TextSize])
{
    hex[0] = '\0';
    if (text == nullptr || std::strlen(text) != kSha256TextSize - 1) return false;
    for (size_t i = 0; i < kSha256TextSize - 1; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    for (size_t i = 0; i < kSha256TextSize; ++i)
        hex[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    return true;
}

bool HashFileSha256(HANDLE file, char (&hex)[kSha256TextSize])
{
    Sha256 sha;
    std::vector<char> chunk(1 << 20);
    for (DWORD read = 0;;) {
        if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) return false;
        if (read == 0) return sha.Finish(hex);
        if (!sha.Add(chunk.data(), read)) return false;
    }
}
