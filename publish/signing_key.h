// The publisher's ECDSA P-256 key pair, made and used with the system's
// cryptography provider (CNG). Its public half is common/signature.h's
// PublicKey, which the program pins.
#pragma once
#include <cstdint>

#include "common/signature.h"

struct KeyPair {
    uint8_t secret[32] = {};  // d, big-endian
    uint8_t point[64] = {};   // X then Y
    KeyPair() = default;
    KeyPair(const KeyPair&) = delete;
    KeyPair& operator=(const KeyPair&) = delete;
    ~KeyPair();  // the secret does not outlive its use
};

bool GenerateKeyPair(KeyPair& key);
bool PublicHalf(const KeyPair& key, PublicKey& publicKey);
// r and s of a signature over digest.
bool SignDigest(const KeyPair& key, const uint8_t (&digest)[32], uint8_t (&rs)[64]);
