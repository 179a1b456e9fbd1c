// A bare WinINet reader: GET each URL, write the body to a file, nothing
// else. Under the same Wine it shows the most any engine could reach, and
// how each way of reading behaves on a fast or a slow link.
// Usage: wininet_probe MODE READ_BYTES OUT_FOLDER URL...
// MODE: "read" (InternetReadFile of READ_BYTES), "nowait" (InternetReadFileEx
// with IRF_NO_WAIT, waiting in InternetQueryDataAvailable when it brings
// nothing) or "available" (InternetQueryDataAvailable, then a read of what it
// reports, at most READ_BYTES).
// Prints the bytes read, the seconds from the first request to the last byte,
// the reading calls made and the longest of them in milliseconds.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Closer {
    HINTERNET handle;
    ~Closer()
    {
        if (handle) InternetCloseHandle(handle);
    }
};

struct Tally {
    long long calls = 0;
    double longestMs = 0;
};

double Now()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One reading call of the mode; false at the end of the body or on failure.
bool ReadSome(const char* mode, HINTERNET request, std::vector<char>& buffer, DWORD& got)
{
    DWORD size = static_cast<DWORD>(buffer.size());
    got = 0;
    if (std::strcmp(mode, "nowait") == 0) {
        INTERNET_BUFFERSA chunk = {};
        chunk.dwStructSize = sizeof chunk;
        chunk.lpvBuffer = buffer.data();
        chunk.dwBufferLength = size;
        if (!InternetReadFileExA(request, &chunk, IRF_NO_WAIT, 0)) return false;
        got = chunk.dwBufferLength;
        DWORD available = 0;
        return got > 0 || (InternetQueryDataAvailable(request, &available, 0, 0) && available > 0);
    }
    if (std::strcmp(mode, "available") == 0) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0) || available == 0) return false;
        size = std::min(size, available);
    }
    return InternetReadFile(request, buffer.data(), size, &got) && got > 0;
}

// Bytes written, or -1 when the request or the file failed.
long long Fetch(HINTERNET session, const char* mode, const char* url, const char* path, std::vector<char>& buffer,
                Tally& tally)
{
    Closer request{InternetOpenUrlA(session, url, nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)};
    if (!request.handle) return -1;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    long long total = 0;
    DWORD got = 0, written = 0;
    for (;;) {
        double begin = Now();
        bool more = ReadSome(mode, request.handle, buffer, got);
        tally.calls++;
        tally.longestMs = std::max(tally.longestMs, (Now() - begin) * 1000);
        if (!more) break;
        if (!WriteFile(file, buffer.data(), got, &written, nullptr) || written != got) break;
        total += got;
    }
    CloseHandle(file);
    return total;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5) return 2;
    const char* mode = argv[1];
    std::vector<char> buffer(std::strtoul(argv[2], nullptr, 10));
    if (buffer.empty()) return 2;
    Closer session{InternetOpenA("Vexil Probe", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)};
    if (!session.handle) return 1;
    double start = Now();
    long long total = 0;
    Tally tally;
    for (int i = 4; i < argc; ++i) {
        const char* name = std::strrchr(argv[i], '/');
        char path[MAX_PATH];
        std::snprintf(path, sizeof path, "%s\\%s", argv[3], name ? name + 1 : argv[i]);
        long long got = Fetch(session.handle, mode, argv[i], path, buffer, tally);
        if (got < 0) return 1;
        total += got;
    }
    std::printf("%lld %.3f %lld %.0f\n", total, Now() - start, tally.calls, tally.longestMs);
    return 0;
}
