#include "config/http_fetch.h"

#include <wininet.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/file_system.h"
#include "common/net_timeouts.h"
#include "common/scheme_flags.h"
#include "common/text.h"
#include "common/url.h"
#include "common/win_handles.h"
#include "config/size_text.h"

namespace {

constexpr DWORD kDocumentChunk = 4096;
constexpr DWORD kFileChunk = 65000;
constexpr DWORD kDocumentOpenFlags = 0xA4000000;  // reload, existing connection, no cache write
// Start-up waits on each request: a silent server must not keep the window
// from appearing.
constexpr DWORD kStartUpTimeoutMs = 6000;

// The answer's status, 0 when it has none.
DWORD StatusCode(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return 0;
    return status;
}

bool IsRedirect(HINTERNET request)
{
    const DWORD status = StatusCode(request);
    return status >= 300 && status < 400;
}

struct RequestHandles {
    InetHandle internet, connection, request;  // closed in reverse order
};

// A send shared by the caller and the thread that makes it.
struct SendJob {
    std::shared_ptr<RequestHandles> handles;
    std::string headers;
    bool hasHeaders = false;
    KernelHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    BOOL sent = FALSE;  // written before done is set
};

DWORD WINAPI RunSend(void* context)
{
    const std::unique_ptr<std::shared_ptr<SendJob>> owned(static_cast<std::shared_ptr<SendJob>*>(context));
    SendJob& job = **owned;
    job.sent = HttpSendRequestA(job.handles->request.Get(), job.hasHeaders ? job.headers.c_str() : nullptr,
                                job.hasHeaders ? static_cast<DWORD>(-1) : 0, nullptr, 0);
    SetEvent(job.done.Get());
    return 0;
}

// Wine's TLS handshake ignores every time-out: a secure request is sent from
// a thread of its own and given up after ms. The thread keeps the handles
// and closes them once its send returns (when the server gives up).
bool SendWithin(const std::shared_ptr<RequestHandles>& handles, const char* headers, DWORD ms)
{
    auto job = std::make_shared<SendJob>();
    job->handles = handles;
    job->hasHeaders = headers != nullptr;
    if (headers) job->headers = headers;
    if (!job->done.Valid()) return false;
    auto* context = new std::shared_ptr<SendJob>(job);
    KernelHandle thread(CreateThread(nullptr, 0, RunSend, context, 0, nullptr));
    if (!thread.Valid()) {
        delete context;
        return false;
    }
    return WaitForSingleObject(job->done.Get(), ms) == WAIT_OBJECT_0 && job->sent;
}

// One request of start-up, sent on construction; Get() is null when it could
// not be made. Wine hands only the connect time-out down from the internet
// handle, so the request carries its own time-outs; a secure one is also
// bounded as a whole (see SendWithin). A secure request that is answered with
// a redirect counts as not made: it follows none (see SchemeRequestFlags),
// and its answer is not what was asked for.
class StartUpRequest {
public:
    StartUpRequest(const char* userAgent, const char* verb, const char* url, const char* version, DWORD flags,
                   const char* headers = nullptr);
    StartUpRequest(const StartUpRequest&) = delete;
    StartUpRequest& operator=(const StartUpRequest&) = delete;
    HINTERNET Get() const { return sent_ ? handles_->request.Get() : nullptr; }

private:
    std::shared_ptr<RequestHandles> handles_ = std::make_shared<RequestHandles>();
    bool sent_ = false;
};

StartUpRequest::StartUpRequest(const char* userAgent, const char* verb, const char* url, const char* version,
                               DWORD flags, const char* headers)
{
    RequestHandles& h = *handles_;
    UrlParts parts;
    h.internet.Reset(InternetOpenA(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!h.internet || !ParseUrl(url, parts)) return;
    ApplyTimeouts(h.internet.Get(), kStartUpTimeoutMs);
    h.connection.Reset(InternetConnectA(h.internet.Get(), parts.endpoint.host, parts.endpoint.port, nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, 0, 0));
    if (!h.connection) return;
    flags |= SchemeRequestFlags(parts.secure);
    h.request.Reset(HttpOpenRequestA(h.connection.Get(), verb, parts.path, version, nullptr, nullptr, flags, 0));
    if (!h.request) return;
    ApplyTimeouts(h.request.Get(), kStartUpTimeoutMs);
    if (parts.secure)
        sent_ = SendWithin(handles_, headers, kStartUpTimeoutMs) && !IsRedirect(h.request.Get());
    else
        sent_ = HttpSendRequestA(h.request.Get(), headers, headers ? static_cast<DWORD>(-1) : 0, nullptr, 0);
}

}  // namespace

HRESULT ReadDocument(char* buffer, DWORD* count, const char* url)
{
    StartUpRequest request("Glenmoor ReadXML", "GET", url, nullptr, kDocumentOpenFlags);
    if (!request.Get()) return E_FAIL;

    char status[4096] = {};
    DWORD statusSize = sizeof(status) - 1;
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE, status, &statusSize, nullptr)) return E_FAIL;
    if (strcmp(status, "404") == 0) return E_FAIL;

    HRESULT result = S_OK;
    DWORD total = 0;
    char chunk[kDocumentChunk];
    DWORD available = 0;
    while (InternetQueryDataAvailable(request.Get(), &available, 0, 0) && available > 0) {
        DWORD read = 0;
        if (!InternetReadFile(request.Get(), chunk, available < kDocumentChunk ? available : kDocumentChunk, &read)) {
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

    StartUpRequest request(userAgent, "GET", url, nullptr, INTERNET_FLAG_RELOAD);
    if (!request.Get()) return E_FAIL;

    if (StatusCode(request.Get()) != 200) return E_FAIL;
    char lengthText[32] = {};
    DWORD lengthSize = sizeof(lengthText) - 1;
    const bool hasLength = HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, nullptr);
    const int64_t expected = hasLength ? ParsePositiveSize(lengthText) : -1;
    if (hasLength && expected == 0 && strcmp(lengthText, "0") != 0) return E_FAIL;

    CreateParentFolders(path);
    FileHandle file(CreateFileA(tempPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return E_FAIL;

    bool ok = true;
    int64_t total = 0;
    char head[2] = {};
    std::vector<char> chunk(kFileChunk);
    for (;;) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request.Get(), &available, 0, 0)) {
            ok = false;
            break;
        }
        if (available == 0) break;
        DWORD read = 0;
        if (!InternetReadFile(request.Get(), chunk.data(), available < kFileChunk ? available : kFileChunk, &read)) {
            ok = false;
            break;
        }
        if (read == 0) break;
        for (DWORD i = 0; i < read && total + i < 2; ++i) head[total + i] = chunk[i];
        DWORD written = 0;
        if (!WriteFile(file.Get(), chunk.data(), read, &written, nullptr) || written != read) {
            ok = false;
            break;
        }
        total += read;
    }
    if (!file.Close()) ok = false;
    if (expected >= 0 && total != expected) ok = false;
    if (check == BodyCheck::ProgramImage && (total < 2 || head[0] != 'M' || head[1] != 'Z')) ok = false;
    if (ok && !MoveFileExA(tempPath, path, MOVEFILE_REPLACE_EXISTING)) ok = false;
    if (!ok) {
        DeleteFileA(tempPath);
        return E_FAIL;
    }
    return S_OK;
}

bool ProbeFileSize(const char* url, const char* userAgent, char* sizeText)
{
    StartUpRequest request(userAgent, "HEAD", url, "HTTP/1.0", INTERNET_FLAG_RELOAD, "Connection: Close\r\n");
    if (!request.Get()) return false;

    char length[32] = {};
    DWORD lengthSize = sizeof(length) - 1;
    if (HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH, length, &lengthSize, nullptr))
        CopyText(sizeText, kTextSize, length);
    return true;
}
