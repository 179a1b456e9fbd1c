// The publisher's private key file: PEM, as openssl writes ECDSA P-256
// keys. Written as SEC1 "EC PRIVATE KEY" with the curve and the public
// point, as `openssl ecparam -name prime256v1 -genkey -noout` writes it;
// read in that form (with or without the "EC PARAMETERS" block openssl
// writes before it without -noout) and as PKCS#8 "PRIVATE KEY" (openssl
// genpkey). Keys without a passphrase only.
#pragma once
#include <string>

#include "publish/signing_key.h"

std::string KeyFileText(const KeyPair& key);

// False, with why said in a few words, when text holds no key to sign with.
bool ReadKeyFile(const std::string& text, KeyPair& key, std::string& why);
