// SHA-256 by the system's cryptography provider (CNG), fed in pieces.
#pragma once
#include <windows.h>

#include <bcrypt.h>

#include <cstddef>

// 64 lower-case hex digits and the terminator.
constexpr size_t kSha256TextSize = 65;

// A hash as a publisher writes it: exactly 64 hex digits of either case.
// Writes them in lower case to hex; false for any other text.
bool ParseSha256Text(const char* text, char (&hex)[kSha256TextSize]);

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool Add(const void* data, DWORD size);
    // Ends the computation; false when any step failed.
    bool Finish(char (&hex)[kSha256TextSize]);

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};
