// SHA-256, fed in pieces: with the processor's SHA instructions where it has
// them (several times the speed of the system's provider under Wine, which
// otherwise limits a verified download), else by the system's cryptography
// provider (CNG).
#pragma once
#include <windows.h>

#include <bcrypt.h>

#include <cstddef>
#include <cstdint>

// 64 lower-case hex digits and the terminator.
constexpr size_t kSha256TextSize = 65;
constexpr size_t kSha256Size = 32;  // bytes of a digest

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool Add(const void* data, DWORD size);
    // Ends the computation; false when any step failed.
    bool Finish(char (&hex)[kSha256TextSize]);
    bool Finish(uint8_t (&digest)[kSha256Size]);
    // Starts afresh after a Finish: many short hashes without a new provider each.
    void Restart();

private:
    bool AddOwn(const uint8_t* data, size_t size);
    void FinishOwn(uint8_t (&digest)[kSha256Size]);

    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    bool own_ = false;  // the processor's instructions
    uint32_t state_[8] = {};
    uint8_t block_[64] = {};
    size_t buffered_ = 0;
    uint64_t total_ = 0;
};

// 64 lower-case hex digits of digest.
void DigestText(const uint8_t (&digest)[kSha256Size], char (&hex)[kSha256TextSize]);

// Hex SHA-256 of what is left to read in file; false when it cannot be read.
bool HashFileSha256(HANDLE file, char (&hex)[kSha256TextSize]);

// A SHA-256 as text: 64 hex digits in any letter case, copied in lower case.
// False (and hex left empty) for anything else.
bool ReadSha256Text(const char* text, char (&hex)[kSha256TextSize]);
