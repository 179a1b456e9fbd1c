// sign: gives a document its version and expiry, signs its bytes and writes
// the signature where the program looks for it, after checking it as the
// program will.
#include <cstring>
#include <string>

#include "common/freshness.h"
#include "common/signature.h"
#include "publish/console.h"
#include "publish/download_tag.h"
#include "publish/key_file.h"
#include "publish/signing_key.h"
#include "publish/verbs.h"

namespace {

// The signature file's line for document, checked against the key's public
// half; false, with why, when it cannot be made or does not check.
bool SignatureOf(const KeyPair& key, const std::string& document, std::string& line, std::string& why)
{
    PublicKey publicKey;
    uint8_t digest[32], rs[64];
    if (!PublicHalf(key, publicKey) || !DocumentDigest(document.data(), document.size(), digest) ||
        !SignDigest(key, digest, rs)) {
        why = "the system's cryptography provider refused the key";
        return false;
    }
    char keyText[kPublicKeyTextSize], signature[kSignatureTextSize];
    WritePublicKey(publicKey, keyText);
    WriteSignature(publicKey, rs, signature);
    if (!IsSignedByOneOf(keyText, document.data(), document.size(), signature, strlen(signature))) {
        why = "the key file's public key is not its private key's";
        return false;
    }
    line = signature;
    return true;
}

bool ReadKey(const std::string& path, KeyPair& key)
{
    std::string text, why;
    if (!ReadLocalFile(path, text)) {
        Say("cannot read " + path);
        return false;
    }
    if (ReadKeyFile(text, key, why)) return true;
    Say(path + ": " + why);
    return false;
}

}  // namespace

int SignDocument(const Arguments& arguments)
{
    if (arguments.Count() != 2 || !arguments.Has("--version") || !arguments.Has("--expires")) return kExitUsage;
    const std::string keyPath = arguments.At(0), path = arguments.At(1);
    const std::string version = arguments.Value("--version"), expires = arguments.Value("--expires");
    uint64_t expiry = 0;
    if (ReadDocumentVersion(version.c_str()) == 0 || !ReadExpiry(expires.c_str(), expiry)) {
        Say("--version takes a positive decimal number, --expires a UTC time such as 2027-01-31T00:00:00Z");
        return kExitUsage;
    }
    if (expiry <= CurrentTime()) {
        Say("--expires " + expires + " has passed: every player would refuse the document");
        return kExitFailed;
    }
    KeyPair key;
    std::string document, line, why;
    char signaturePath[kTextSize];
    if (!ReadKey(keyPath, key)) return kExitFailed;
    if (!ReadLocalFile(path, document) || !SignatureLocation(path.c_str(), signaturePath)) {
        Say("cannot read " + path);
        return kExitFailed;
    }
    if (!SetDownloadAttributes(document, {{"version", version}, {"expires", expires}}, why) ||
        !SignatureOf(key, document, line, why)) {
        Say(path + ": " + why);
        return kExitFailed;
    }
    if (!WriteLocalFile(path, document) || !WriteLocalFile(signaturePath, line)) {
        Say("cannot write " + path + " and " + signaturePath);
        return kExitFailed;
    }
    Say("signed " + path + " (version " + version + ", expires " + expires + ") with key " +
        line.substr(sizeof kSignatureTag, kKeyIdTextSize - 1) + "; its signature is " + signaturePath);
    return kExitOk;
}
