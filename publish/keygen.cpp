// keygen: a new signing key, written to a file that did not exist, and its
// public key on standard output in the form the program's build pins.
#include <string>

#include "common/signature.h"
#include "publish/console.h"
#include "publish/key_file.h"
#include "publish/signing_key.h"
#include "publish/verbs.h"

int MakeKey(const Arguments& arguments)
{
    if (arguments.Count() != 1) return kExitUsage;
    const std::string path = arguments.At(0);
    KeyPair key;
    PublicKey publicKey;
    if (!GenerateKeyPair(key) || !PublicHalf(key, publicKey)) {
        Say("cannot make a key: the system's cryptography provider refused");
        return kExitFailed;
    }
    // A key is never overwritten: documents signed with it would have no key left.
    if (!WriteNewLocalFile(path, KeyFileText(key))) {
        Say(path + ": exists already or cannot be written");
        return kExitFailed;
    }
    char line[kPublicKeyTextSize];
    WritePublicKey(publicKey, line);
    Say("private key (id " + std::string(publicKey.id) + ") in " + path + "; keep it off the servers");
    return WriteOut(std::string(line) + "\n") ? kExitOk : kExitFailed;
}
