#include "publish/signing_key.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>

#include "common/win_handles.h"

namespace {

// BCRYPT_ECCPRIVATE_BLOB for P-256: the header, X, Y, d.
struct PrivateBlob {
    BCRYPT_ECCKEY_BLOB header;
    uint8_t point[64];
    uint8_t secret[32];
};

bool OpenProvider(AlgorithmHandle& algorithm)
{
    BCRYPT_ALG_HANDLE raw = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&raw, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
    algorithm.Reset(raw);
    return true;
}

}  // namespace

KeyPair::~KeyPair() { SecureZeroMemory(secret, sizeof secret); }

bool GenerateKeyPair(KeyPair& key)
{
    AlgorithmHandle algorithm;
    BCRYPT_KEY_HANDLE raw = nullptr;
    if (!OpenProvider(algorithm) || !BCRYPT_SUCCESS(BCryptGenerateKeyPair(algorithm.Get(), &raw, 256, 0)))
        return false;
    CryptKeyHandle made(raw);
    PrivateBlob blob = {};
    ULONG size = 0;
    const bool exported =
        BCRYPT_SUCCESS(BCryptFinalizeKeyPair(made.Get(), 0)) &&
        BCRYPT_SUCCESS(BCryptExportKey(made.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, reinterpret_cast<PUCHAR>(&blob),
                                       sizeof blob, &size, 0)) &&
        size == sizeof blob && blob.header.cbKey == 32;
    if (exported) {
        memcpy(key.point, blob.point, sizeof key.point);
        memcpy(key.secret, blob.secret, sizeof key.secret);
    }
    SecureZeroMemory(&blob, sizeof blob);
    return exported;
}

bool PublicHalf(const KeyPair& key, PublicKey& publicKey) { return MakePublicKey(key.point, publicKey); }

bool SignDigest(const KeyPair& key, const uint8_t (&digest)[32], uint8_t (&rs)[64])
{
    AlgorithmHandle algorithm;
    if (!OpenProvider(algorithm)) return false;
    PrivateBlob blob = {{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32}, {}, {}};
    memcpy(blob.point, key.point, sizeof blob.point);
    memcpy(blob.secret, key.secret, sizeof blob.secret);
    BCRYPT_KEY_HANDLE raw = nullptr;
    const bool imported = BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, &raw,
                                                             reinterpret_cast<PUCHAR>(&blob), sizeof blob, 0));
    SecureZeroMemory(&blob, sizeof blob);
    if (!imported) return false;
    CryptKeyHandle signing(raw);
    ULONG size = 0;
    return BCRYPT_SUCCESS(BCryptSignHash(signing.Get(), nullptr, const_cast<PUCHAR>(digest), sizeof digest, rs,
                                         sizeof rs, &size, 0)) &&
           size == sizeof rs;
}
