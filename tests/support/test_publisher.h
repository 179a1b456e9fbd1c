// A publisher key made for one test program with the publisher's command's
// own code (publish/), and documents signed with it as the command signs
// them. Test programs that use it link vexil_publish.
#pragma once
#include <string>

#include "common/signature.h"
#include "publish/download_tag.h"
#include "publish/signing_key.h"

// Far enough ahead for any test run.
constexpr char kFarExpiry[] = "2099-01-01T00:00:00Z";

class TestPublisher {
public:
    TestPublisher()
    {
        made_ = GenerateKeyPair(key_) && PublicHalf(key_, public_);
        WritePublicKey(public_, keyLine_);
    }
    bool Made() const { return made_; }
    // The line AppState.publisherKeys takes.
    const char* KeyLine() const { return keyLine_; }

    // The signature file for exactly these bytes.
    std::string Signature(const std::string& document) const
    {
        uint8_t digest[32], rs[64] = {};
        char line[kSignatureTextSize] = {};
        if (DocumentDigest(document.data(), document.size(), digest) && SignDigest(key_, digest, rs))
            WriteSignature(public_, rs, line);
        return line;
    }

private:
    KeyPair key_;
    PublicKey public_;
    char keyLine_[kPublicKeyTextSize] = {};
    bool made_ = false;
};

// The document with its version and expiry set as the sign verb sets them
// (unchanged when its Download tag cannot be read).
inline std::string Fresh(std::string document, const std::string& version, const std::string& expires = kFarExpiry)
{
    std::string why;
    SetDownloadAttributes(document, {{"version", version}, {"expires", expires}}, why);
    return document;
}
