#include "common/signature.h"

#include <windows.h>

#include <bcrypt.h>

#include <cctype>
#include <cstring>

#include "common/sha256.h"
#include "common/win_handles.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    const int lower = std::tolower(static_cast<unsigned char>(c));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// count bytes from 2 * count hex digits; false at the first other character.
bool ReadHex(const char* text, uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

// Lower-case hex digits of count bytes, terminated.
void WriteHex(const uint8_t* bytes, size_t count, char* text)
{
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < count; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 15];
    }
    text[2 * count] = '\0';
}

bool StartsWith(const char* text, size_t length, const char* prefix)
{
    const size_t size = strlen(prefix);
    return length >= size && memcmp(text, prefix, size) == 0;
}

struct Signature {
    char keyId[kKeyIdTextSize] = {};
    uint8_t rs[64] = {};
};

// The signature file's one line: the tag, the key's id and the signature,
// one blank between them, then at most a line end.
bool ReadSignature(const char* text, size_t size, Signature& signature)
{
    const size_t tag = sizeof kSignatureTag - 1, id = kKeyIdTextSize - 1, line = tag + 1 + id + 1 + 128;
    if (size > 0 && text[size - 1] == '\n') --size;
    if (size > 0 && text[size - 1] == '\r') --size;
    if (size != line || !StartsWith(text, size, kSignatureTag) || text[tag] != ' ' || text[tag + 1 + id] != ' ')
        return false;
    uint8_t idBytes[8];
    if (!ReadHex(text + tag + 1, idBytes, sizeof idBytes) || !ReadHex(text + tag + 1 + id + 1, signature.rs, 64))
        return false;
    WriteHex(idBytes, sizeof idBytes, signature.keyId);
    return true;
}

bool Verifies(const PublicKey& key, const uint8_t (&digest)[32], const uint8_t (&rs)[64])
{
    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)))
        return false;
    AlgorithmHandle algorithm(rawAlgorithm);
    struct {
        BCRYPT_ECCKEY_BLOB header;
        uint8_t point[64];
    } blob = {{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32}, {}};
    memcpy(blob.point, key.point, sizeof blob.point);
    BCRYPT_KEY_HANDLE rawKey = nullptr;
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &rawKey,
                                            reinterpret_cast<PUCHAR>(&blob), sizeof blob, 0)))
        return false;
    CryptKeyHandle imported(rawKey);
    // Anything but success, a wrong signature among them, is no signature.
    return BCryptVerifySignature(imported.Get(), nullptr, const_cast<PUCHAR>(digest), sizeof digest,
                                 const_cast<PUCHAR>(rs), sizeof rs, 0) == 0;
}

// The key of keys (';' between them) whose id is id.
bool FindKey(const char* keys, const char* id, PublicKey& key)
{
    for (const char* start = keys; *start != '\0';) {
        const char* end = strchr(start, ';');
        const size_t length = end ? static_cast<size_t>(end - start) : strlen(start);
        if (ReadPublicKey(start, length, key) && strcmp(key.id, id) == 0) return true;
        if (end == nullptr) break;
        start = end + 1;
    }
    return false;
}

}  // namespace

bool MakePublicKey(const uint8_t (&point)[64], PublicKey& key)
{
    memcpy(key.point, point, sizeof key.point);
    Sha256 sha;
    char hash[kSha256TextSize];
    if (!sha.Add(point, sizeof point) || !sha.Finish(hash)) return false;
    memcpy(key.id, hash, kKeyIdTextSize - 1);
    key.id[kKeyIdTextSize - 1] = '\0';
    return true;
}

bool ReadPublicKey(const char* text, size_t length, PublicKey& key)
{
    const size_t prefix = sizeof kPublicKeyPrefix - 1;
    uint8_t point[64];
    return length == kPublicKeyTextSize - 1 && StartsWith(text, length, kPublicKeyPrefix) &&
           ReadHex(text + prefix, point, sizeof point) && MakePublicKey(point, key);
}

void WritePublicKey(const PublicKey& key, char (&text)[kPublicKeyTextSize])
{
    memcpy(text, kPublicKeyPrefix, sizeof kPublicKeyPrefix - 1);
    WriteHex(key.point, sizeof key.point, text + sizeof kPublicKeyPrefix - 1);
}

void WriteSignature(const PublicKey& key, const uint8_t (&rs)[64], char (&text)[kSignatureTextSize])
{
    char hex[129];
    WriteHex(rs, sizeof rs, hex);
    FormatText(text, sizeof text, "%s %s %s\n", kSignatureTag, key.id, hex);
}

bool DocumentDigest(const void* bytes, size_t size, uint8_t (&digest)[32])
{
    Sha256 sha;
    char hash[kSha256TextSize];
    return sha.Add(bytes, static_cast<DWORD>(size)) && sha.Finish(hash) && ReadHex(hash, digest, sizeof digest);
}

bool IsSignedByOneOf(const char* keys, const void* document, size_t size, const char* signatureFile,
                     size_t signatureSize)
{
    Signature signature;
    PublicKey key;
    uint8_t digest[32];
    return ReadSignature(signatureFile, signatureSize, signature) && FindKey(keys, signature.keyId, key) &&
           DocumentDigest(document, size, digest) && Verifies(key, digest, signature.rs);
}

bool SignatureLocation(const char* document, char (&location)[kTextSize])
{
    const size_t path = strcspn(document, "?#");
    return FormatText(location, sizeof location, "%.*s.sig%s", static_cast<int>(path), document, document + path);
}
