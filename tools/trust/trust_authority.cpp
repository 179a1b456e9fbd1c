// Adds one PEM certificate to the "Root" store of the local machine in the
// Wine prefix it runs in: the build's test authority is trusted there and
// nowhere else. Exit status 0 when the certificate is in the store.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

namespace {

bool ReadWholeFile(const char* path, std::vector<char>& text)
{
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    char chunk[4096];
    size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.insert(text.end(), chunk, chunk + count);
    std::fclose(file);
    return !text.empty();
}

bool DecodePem(const std::vector<char>& text, std::vector<BYTE>& der)
{
    DWORD size = 0;
    const DWORD length = static_cast<DWORD>(text.size());
    if (!CryptStringToBinaryA(text.data(), length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return false;
    der.resize(size);
    return CryptStringToBinaryA(text.data(), length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr);
}

bool AddToMachineRoot(const std::vector<BYTE>& der)
{
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (!store) return false;
    const bool added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                        static_cast<DWORD>(der.size()),
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    return added;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<char> text;
    std::vector<BYTE> der;
    if (argc != 2 || !ReadWholeFile(argv[1], text) || !DecodePem(text, der) || !AddToMachineRoot(der)) {
        std::fprintf(stderr, "usage: trust_authority CERTIFICATE.pem (a readable PEM certificate)\n");
        return 1;
    }
    return 0;
}
