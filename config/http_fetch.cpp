#include "config/http_fetch.h"

#include <wininet.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/file_system.h"
#include "common/text.h"
#include "common/win_handles.h"
#include "common/bounded_task.h"
#include "common/content_range.h"
#include "common/size_text.h"
#include "config/start_up_request.h"

namespace {

constexpr DWORD kDocumentChunk = 4096;
constexpr DWORD kFileChunk = 65000;
constexpr DWORD kDocumentOpenFlags = 0xA4000000;  // reload, existing connection, no cache write

// The answer's Content-Length, -1 when it has none; false for one that is
// no length.
bool DeclaredLength(HINTERNET request, int64_t& length)
{
    char text[32] = {};
    DWORD size = sizeof(text) - 1;
    length = -1;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return true;
    length = ParsePositiveSize(text);
    return length > 0 || strcmp(text, "0") == 0;
}

// A document read on a task's thread into a buffer of its own.
struct DocumentRead {
    std::string url;
    DWORD capacity = 0;
    std::vector<char> body;
    bool bodyRead = false;  // the body's count is to be reported
    bool whole = false;

    void Run(const std::atomic<bool>& givenUp) { whole = Read(givenUp); }
    bool Read(const std::atomic<bool>& givenUp);
};

bool DocumentRead::Read(const std::atomic<bool>& givenUp)
{
    StartUpRequest request("Glenmoor ReadXML", "GET", url.c_str(), nullptr, kDocumentOpenFlags, nullptr, givenUp);
    if (!request.Get()) return false;
    char status[4096] = {};
    DWORD statusSize = sizeof(status) - 1;
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE, status, &statusSize, nullptr)) return false;
    if (strcmp(status, "404") == 0) return false;

    bodyRead = true;
    int64_t declared = -1;
    if (!DeclaredLength(request.Get(), declared)) return false;
    char chunk[kDocumentChunk];
    for (;;) {
        DWORD available = 0;
        if (givenUp || !InternetQueryDataAvailable(request.Get(), &available, 0, 0)) return false;
        if (available == 0) break;
        DWORD read = 0;
        if (!InternetReadFile(request.Get(), chunk, available < kDocumentChunk ? available : kDocumentChunk, &read))
            return false;
        if (read == 0) break;
        if (read > capacity - body.size()) return false;
        body.insert(body.end(), chunk, chunk + read);
    }
    // A body cut short is no document: a half list must never pass for a list.
    return declared < 0 || static_cast<int64_t>(body.size()) == declared;
}

// A file streamed on a task's thread into a temporary file of its own,
// which the caller moves into place once the task succeeded; otherwise the
// temporary file goes with the last owner.
struct FileDownload {
    std::string url;
    const char* userAgent = nullptr;  // one of the program's constant agents
    BodyCheck check = BodyCheck::None;
    char tempPath[kTextSize] = {};
    bool whole = false;
    bool kept = false;

    ~FileDownload()
    {
        if (!kept && tempPath[0] != '\0') DeleteFileA(tempPath);
    }
    void Run(const std::atomic<bool>& givenUp) { whole = Fetch(givenUp); }
    bool Fetch(const std::atomic<bool>& givenUp);
    bool Stream(HINTERNET request, HANDLE file, int64_t& total, char (&head)[2], const std::atomic<bool>& givenUp);
};

bool FileDownload::Stream(HINTERNET request, HANDLE file, int64_t& total, char (&head)[2],
                          const std::atomic<bool>& givenUp)
{
    std::vector<char> chunk(kFileChunk);
    for (;;) {
        DWORD available = 0;
        if (givenUp || !InternetQueryDataAvailable(request, &available, 0, 0)) return false;
        if (available == 0) return true;
        DWORD read = 0;
        if (!InternetReadFile(request, chunk.data(), available < kFileChunk ? available : kFileChunk, &read))
            return false;
        if (read == 0) return true;
        if (total + read > kLargestFetchedFile) return false;
        for (DWORD i = 0; i < read && total + i < 2; ++i) head[total + i] = chunk[i];
        DWORD written = 0;
        if (!WriteFile(file, chunk.data(), read, &written, nullptr) || written != read) return false;
        total += read;
    }
}

bool FileDownload::Fetch(const std::atomic<bool>& givenUp)
{
    StartUpRequest request(userAgent, "GET", url.c_str(), nullptr, INTERNET_FLAG_RELOAD, nullptr, givenUp);
    if (!request.Get() || StatusCode(request.Get()) != 200) return false;
    int64_t expected = -1;
    if (!DeclaredLength(request.Get(), expected) || expected > kLargestFetchedFile) return false;

    FileHandle file(CreateFileA(tempPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    int64_t total = 0;
    char head[2] = {};
    bool ok = Stream(request.Get(), file.Get(), total, head, givenUp);
    if (!file.Close()) ok = false;
    if (expected >= 0 && total != expected) ok = false;
    if (check == BodyCheck::ProgramImage && (total < 2 || head[0] != 'M' || head[1] != 'Z')) ok = false;
    return ok;
}

bool IsSuccess(DWORD status) { return status >= 200 && status < 300; }

// Servers and object stores that answer HEAD so still serve the file to a GET.
bool RefusesHead(DWORD status) { return status == 403 || status == 405 || status == 501; }

// A file's size as a HEAD answer, or failing that a ranged GET, gives it;
// read on a task's thread.
struct SizeProbe {
    std::string url;
    const char* userAgent = nullptr;
    char length[32] = {};
    bool made = false;
    bool hasLength = false;
    bool missing = false;

    void Run(const std::atomic<bool>& givenUp)
    {
        StartUpRequest head(userAgent, "HEAD", url.c_str(), "HTTP/1.0", INTERNET_FLAG_RELOAD,
                            "Connection: Close\r\n", givenUp);
        made = head.Get() != nullptr;
        const DWORD status = made ? StatusCode(head.Get()) : 0;
        if (IsSuccess(status)) {
            DWORD lengthSize = sizeof(length) - 1;
            hasLength = HttpQueryInfoA(head.Get(), HTTP_QUERY_CONTENT_LENGTH, length, &lengthSize, nullptr);
        } else if (made) {
            missing = !(RefusesHead(status) && SizeByFirstByte(givenUp));
        }
    }

    // The answer's headers are all it takes: the connection is not kept, so
    // closing the request reads none of a body that a server sends whole.
    bool SizeByFirstByte(const std::atomic<bool>& givenUp)
    {
        StartUpRequest get(userAgent, "GET", url.c_str(), nullptr, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                           "Range: bytes=0-0\r\nConnection: close\r\n", givenUp);
        const DWORD status = get.Get() ? StatusCode(get.Get()) : 0;
        char text[128] = {};
        DWORD size = sizeof(text) - 1;
        if (status == 206 && HttpQueryInfoA(get.Get(), HTTP_QUERY_CONTENT_RANGE, text, &size, nullptr)) {
            const ContentRange range = ParseContentRange(text);
            hasLength = range.valid && FormatText(length, sizeof length, "%I64u", range.total);
        } else if (status == 200) {
            DWORD lengthSize = sizeof(length) - 1;
            hasLength = HttpQueryInfoA(get.Get(), HTTP_QUERY_CONTENT_LENGTH, length, &lengthSize, nullptr);
        }
        return hasLength;
    }
};

// Runs a job on a bounded task; true when it ended in time, and the job is
// then the caller's again.
template <class Job> bool RunBounded(const std::shared_ptr<Job>& job)
{
    BoundedTask task([job](const std::atomic<bool>& givenUp) { job->Run(givenUp); }, kStartUpBudgetMs);
    return task.Wait();
}

}  // namespace

HRESULT ReadDocument(char* buffer, DWORD* count, const char* url) { return StartDocumentRead(url, *count)(buffer, count); }

DocumentAnswer StartDocumentRead(const char* url, DWORD capacity)
{
    auto job = std::make_shared<DocumentRead>();
    job->url = url;
    job->capacity = capacity;
    auto task = std::make_shared<BoundedTask>(
        [job](const std::atomic<bool>& givenUp) { job->Run(givenUp); }, kStartUpBudgetMs);
    return [job, task](char* buffer, DWORD* count) {
        if (!task->Wait()) return E_FAIL;
        if (job->bodyRead) {
            memcpy(buffer, job->body.data(), job->body.size());
            *count = static_cast<DWORD>(job->body.size());
        }
        return job->whole ? S_OK : E_FAIL;
    };
}

HRESULT DownloadToFile(const char* url, const char* path, const char* userAgent, BodyCheck check)
{
    static LONG downloads = 0;
    auto job = std::make_shared<FileDownload>();
    job->url = url;
    job->userAgent = userAgent;
    job->check = check;
    // A name of its own: a download given up on may still be writing its file.
    if (!FormatText(job->tempPath, sizeof job->tempPath, "%s.%lu.%ld.part", path, GetCurrentProcessId(),
                    InterlockedIncrement(&downloads)))
        return E_FAIL;
    CreateParentFolders(path);
    if (!RunBounded(job) || !job->whole || !MoveFileExA(job->tempPath, path, MOVEFILE_REPLACE_EXISTING))
        return E_FAIL;
    job->kept = true;
    return S_OK;
}

bool ProbeFileSize(const char* url, const char* userAgent, char* sizeText)
{
    return StartSizeProbe(url, userAgent)(sizeText) != SizeAnswer::NotMade;
}

ProbeAnswer StartSizeProbe(const char* url, const char* userAgent)
{
    auto job = std::make_shared<SizeProbe>();
    job->url = url;
    job->userAgent = userAgent;
    auto task = std::make_shared<BoundedTask>(
        [job](const std::atomic<bool>& givenUp) { job->Run(givenUp); }, kStartUpBudgetMs);
    return [job, task](char* sizeText) {
        if (!task->Wait() || !job->made) return SizeAnswer::NotMade;
        if (job->hasLength) CopyText(sizeText, kTextSize, job->length);
        return job->missing ? SizeAnswer::Missing : SizeAnswer::Answered;
    };
}
