#include "config/engine_library.h"

#include <bcrypt.h>
#include <shlobj.h>

#include <vector>

#include "common/text.h"
#include "config/http_fetch.h"
#include "state/app_state.h"

namespace {

bool IsPinned(const char* pin) { return pin != nullptr && pin[0] != '\0'; }

// One SHA-256 computation of the system's cryptography provider.
class Sha256 {
public:
    Sha256()
    {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            algorithm_ = nullptr;
        else if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0)))
            hash_ = nullptr;
    }
    ~Sha256()
    {
        if (hash_ != nullptr) BCryptDestroyHash(hash_);
        if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool Add(const char* data, DWORD size)
    {
        return hash_ != nullptr &&
               BCRYPT_SUCCESS(BCryptHashData(hash_, reinterpret_cast<PUCHAR>(const_cast<char*>(data)), size, 0));
    }
    bool Finish(char (&hex)[kSha256TextSize])
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

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

bool HashFileSha256(HANDLE file, char (&hex)[kSha256TextSize])
{
    Sha256 sha;
    std::vector<char> chunk(65536);
    DWORD read = 0;
    for (;;) {
        if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) return false;
        if (read == 0) break;
        if (!sha.Add(chunk.data(), read)) return false;
    }
    return sha.Finish(hex);
}

bool OpenPinnedFile(const char* path, const char* pin, FileHandle& file)
{
    file.Reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
    if (!file.Valid() || !IsPinned(pin)) return file.Valid();
    char hex[kSha256TextSize];
    if (HashFileSha256(file.Get(), hex) && lstrcmpiA(hex, pin) == 0) return true;
    file.Reset();
    return false;
}

HMODULE LoadPinnedLibrary(const char* path, const char* pin)
{
    if (!IsPinned(pin)) return LoadLibraryA(path);
    FileHandle file;
    if (!OpenPinnedFile(path, pin, file)) return nullptr;
    return LoadLibraryA(path);
}

HRESULT DownloadEngineLibrary(const char* path, const char* url)
{
    return DownloadToFile(url, path, "Glenmoor EngineDown", BodyCheck::ProgramImage);
}

int EnsureEngineLibrary(const char* url)
{
    char documents[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE)) return 0;
    char path[kTextSize];
    if (!FormatText(path, sizeof(path), "%s\\Glenmoor\\download\\tkwengine.dll", documents)) return 0;
    CopyText(AppState.engineLibraryPath, path);
    FileHandle existing;
    if (!OpenPinnedFile(path, AppState.engineLibraryPin, existing)) DownloadEngineLibrary(path, url);
    return 0;
}
