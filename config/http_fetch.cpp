#include "config/http_fetch.h"

#include <shlobj.h>
#include <wininet.h>

#include <cstring>
#include <vector>

#include "app/app_state.h"
#include "app/text.h"
#include "config/engine_library.h"
#include "config/text_rules.h"

namespace {

constexpr DWORD kDocumentChunk = 4096;
constexpr DWORD kFileChunk = 65000;
constexpr DWORD kDocumentOpenFlags = 0xA4000000;  // reload, existing connection, no cache write

// Closes a WinINet handle when it goes out of scope, children before parents.
class NetHandle {
public:
    explicit NetHandle(HINTERNET handle) : handle_(handle) {}
    ~NetHandle() { if (handle_) InternetCloseHandle(handle_); }
    NetHandle(const NetHandle&) = delete;
    NetHandle& operator=(const NetHandle&) = delete;
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

bool IsDirectory(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Splits "http://host[:port]/path"; false for anything else.
bool SplitHttpUrl(const char* url, char* host, size_t hostSize, INTERNET_PORT* port, const char** path)
{
    static const char kScheme[] = "http://";
    if (strncmp(url, kScheme, sizeof(kScheme) - 1) != 0) return false;
    const char* hostStart = url + sizeof(kScheme) - 1;
    const char* slash = strchr(hostStart, '/');
    if (slash == nullptr || slash == hostStart) return false;
    const size_t hostLength = static_cast<size_t>(slash - hostStart);
    if (hostLength >= hostSize) return false;
    memcpy(host, hostStart, hostLength);
    host[hostLength] = '\0';
    *port = INTERNET_DEFAULT_HTTP_PORT;
    char* colon = strrchr(host, ':');
    if (colon != nullptr && strchr(colon, ']') == nullptr) {
        unsigned long value = 0;
        for (const char* p = colon + 1; *p; ++p) {
            if (*p < '0' || *p > '9') return false;
            value = value * 10 + static_cast<unsigned long>(*p - '0');
            if (value > 65535) return false;
        }
        if (colon[1] != '\0') {
            if (value == 0) return false;
            *port = static_cast<INTERNET_PORT>(value);
        }
        *colon = '\0';
    }
    if (host[0] == '\0') return false;
    *path = slash;
    return true;
}

}  // namespace

HRESULT ReadDocument(char* buffer, DWORD* count, const char* url)
{
    NetHandle internet(InternetOpenA("Glenmoor ReadXML", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return E_FAIL;
    NetHandle request(InternetOpenUrlA(internet.get(), url, nullptr, 0, kDocumentOpenFlags, 0));
    if (!request) return E_FAIL;

    char status[4096] = {};
    DWORD statusSize = sizeof(status) - 1;
    if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE, status, &statusSize, nullptr)) return E_FAIL;
    if (strcmp(status, "404") == 0) return E_FAIL;

    HRESULT result = S_OK;
    DWORD total = 0;
    char chunk[kDocumentChunk];
    DWORD available = 0;
    while (InternetQueryDataAvailable(request.get(), &available, 0, 0) && available > 0) {
        DWORD read = 0;
        if (!InternetReadFile(request.get(), chunk, available < kDocumentChunk ? available : kDocumentChunk, &read)) {
            result = E_FAIL;
            break;
        }
        if (read == 0) break;
        if (read > *count - total) {
            result = E_FAIL;
            break;
        }
        memcpy(buffer + total, chunk, read);
        total += read;
    }
    *count = total;
    return result;
}

HRESULT DownloadToFile(const char* url, const char* path, const char* userAgent, BodyCheck check)
{
    char tempPath[kTextSize];
    if (!FormatText(tempPath, sizeof(tempPath), "%s.%lu.part", path, GetCurrentProcessId())) return E_FAIL;

    NetHandle internet(InternetOpenA(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return E_FAIL;
    NetHandle request(InternetOpenUrlA(internet.get(), url, nullptr, 0, INTERNET_FLAG_RELOAD, 0));
    if (!request) return E_FAIL;

    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize, nullptr) ||
        status != 200)
        return E_FAIL;
    char lengthText[32] = {};
    DWORD lengthSize = sizeof(lengthText) - 1;
    const bool hasLength = HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, nullptr);
    const int64_t expected = hasLength ? ParsePositiveSize(lengthText) : -1;
    if (hasLength && expected == 0 && strcmp(lengthText, "0") != 0) return E_FAIL;

    CreateDirectoryChain(path);
    HANDLE file = CreateFileA(tempPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return E_FAIL;

    bool ok = true;
    int64_t total = 0;
    char head[2] = {};
    std::vector<char> chunk(kFileChunk);
    for (;;) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request.get(), &available, 0, 0)) {
            ok = false;
            break;
        }
        if (available == 0) break;
        DWORD read = 0;
        if (!InternetReadFile(request.get(), chunk.data(), available < kFileChunk ? available : kFileChunk, &read)) {
            ok = false;
            break;
        }
        if (read == 0) break;
        for (DWORD i = 0; i < read && total + i < 2; ++i) head[total + i] = chunk[i];
        DWORD written = 0;
        if (!WriteFile(file, chunk.data(), read, &written, nullptr) || written != read) {
            ok = false;
            break;
        }
        total += read;
    }
    if (!CloseHandle(file)) ok = false;
    if (expected >= 0 && total != expected) ok = false;
    if (check == BodyCheck::ProgramImage && (total < 2 || head[0] != 'M' || head[1] != 'Z')) ok = false;
    if (ok && !MoveFileExA(tempPath, path, MOVEFILE_REPLACE_EXISTING)) ok = false;
    if (!ok) {
        DeleteFileA(tempPath);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT DownloadEngineLibrary(const char* path, const char* url)
{
    return DownloadToFile(url, path, "Glenmoor EngineDown", BodyCheck::ProgramImage);
}

HRESULT DownloadImage(const char* url, const char* path)
{
    return DownloadToFile(url, path, "Glenmoor ImgDown");
}

bool ProbeFileSize(const char* url, const char* userAgent, char* sizeText)
{
    if (strlen(url) >= kTextSize) return false;
    char host[kTextSize];
    INTERNET_PORT port = 0;
    const char* path = nullptr;
    if (!SplitHttpUrl(url, host, sizeof(host), &port, &path)) return false;

    NetHandle internet(InternetOpenA(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return false;
    NetHandle connection(InternetConnectA(internet.get(), host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return false;
    NetHandle request(HttpOpenRequestA(connection.get(), "HEAD", path, "HTTP/1.0", nullptr, nullptr,
                                       INTERNET_FLAG_RELOAD, 0));
    if (!request) return false;
    static const char kHeaders[] = "Connection: Close\r\n";
    if (!HttpSendRequestA(request.get(), kHeaders, sizeof(kHeaders) - 1, nullptr, 0)) return false;

    char length[32] = {};
    DWORD lengthSize = sizeof(length) - 1;
    if (HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH, length, &lengthSize, nullptr))
        CopyText(sizeText, kTextSize, length);
    return true;
}

int CreateDirectoryChain(const char* path)
{
    char prefix[kTextSize];
    for (const char* p = strchr(path, '\\'); p != nullptr; p = strchr(p + 1, '\\')) {
        const size_t length = static_cast<size_t>(p - path) + 1;
        if (length >= sizeof(prefix)) break;
        memcpy(prefix, path, length);
        prefix[length] = '\0';
        if (!IsDirectory(prefix) && !CreateDirectoryA(prefix, nullptr)) break;
    }
    return 0;
}

int EnsureEngineLibrary(const char* url)
{
    char documents[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE)) return 0;
    char path[kTextSize];
    if (!FormatText(path, sizeof(path), "%s\\Glenmoor\\download\\tkwengine.dll", documents)) return 0;
    CopyText(AppState.engineLibraryPath, path);

    HANDLE existing = OpenPinnedFile(path, AppState.engineLibraryPin);
    if (existing != INVALID_HANDLE_VALUE) {
        CloseHandle(existing);
        return 0;
    }
    DownloadEngineLibrary(path, url);
    return 0;
}
