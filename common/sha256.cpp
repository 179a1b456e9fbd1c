#include "common/sha256.h"

#include <cctype>

Sha256::Sha256()
{
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        algorithm_ = nullptr;
    else if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0)))
        hash_ = nullptr;
}

Sha256::~Sha256()
{
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
}

bool Sha256::Add(const void* data, DWORD size)
{
    return hash_ != nullptr &&
           BCRYPT_SUCCESS(BCryptHashData(hash_, static_cast<PUCHAR>(const_cast<void*>(data)), size, 0));
}

bool Sha256::Finish(char (&hex)[kSha256TextSize])
{
    UCHAR digest[32];
    if (hash_ == nullptr || !BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest, sizeof digest, 0))) return false;
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < sizeof digest; ++i) {
        hex[2 * i] = kDigits[digest[i] >> 4];
        hex[2 * i + 1] = kDigits[digest[i] & 15];
    }
    hex[64] = '\0';
    return true;
}

bool ParseSha256Text(const char* text, char (&hex)[kSha256TextSize])
{
    if (!text) return false;
    for (size_t i = 0; i + 1 < kSha256TextSize; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
        hex[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    }
    hex[kSha256TextSize - 1] = '\0';
    return text[kSha256TextSize - 1] == '\0';
}
