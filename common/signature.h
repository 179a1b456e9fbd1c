// Publisher signatures: ECDSA P-256 over the SHA-256 of a document's exact
// bytes, checked with the system's cryptography provider (CNG). The
// publisher's command writes keys and signatures in these forms and the
// program reads them with this same code.
//
// A public key is one line: "p256:" and 128 hex digits, the point's X then
// Y. Its id is the first 16 hex digits of the SHA-256 of those 64 bytes. A
// signature travels in a file of its own beside the document, one line:
// "vexil-signature-1 ID R||S", the signing key's id and the 128 hex digits
// of the signature's r and s.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/text.h"

constexpr char kPublicKeyPrefix[] = "p256:";
constexpr char kSignatureTag[] = "vexil-signature-1";
constexpr size_t kKeyIdTextSize = 17;
constexpr size_t kPublicKeyTextSize = sizeof kPublicKeyPrefix + 128;
// The line (each terminator's place holds a blank), its LF and the terminator.
constexpr size_t kSignatureTextSize = sizeof kSignatureTag + kKeyIdTextSize + 128 + 2;
// The most a signature file may hold: anything larger is no signature.
constexpr size_t kSignatureFileCapacity = 512;

struct PublicKey {
    uint8_t point[64] = {};  // X then Y, big-endian
    char id[kKeyIdTextSize] = {};
};

// The key of a point, its id computed.
bool MakePublicKey(const uint8_t (&point)[64], PublicKey& key);
// "p256:" and 128 hex digits in any letter case, length bytes of text.
bool ReadPublicKey(const char* text, size_t length, PublicKey& key);
void WritePublicKey(const PublicKey& key, char (&text)[kPublicKeyTextSize]);

// The signature file's line, LF included.
void WriteSignature(const PublicKey& key, const uint8_t (&rs)[64], char (&text)[kSignatureTextSize]);

// The SHA-256 that a signature covers.
bool DocumentDigest(const void* bytes, size_t size, uint8_t (&digest)[32]);

// Whether signatureFile (signatureSize bytes: the line, with or without its
// line end, and nothing else) is a good signature of the document by one of
// keys, public keys separated by ';'.
bool IsSignedByOneOf(const char* keys, const void* document, size_t size, const char* signatureFile,
                     size_t signatureSize);

// Where a document's signature is: its URL or path with ".sig" added to the
// path, before any query. False when that does not fit.
bool SignatureLocation(const char* document, char (&location)[kTextSize]);
