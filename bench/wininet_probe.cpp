// A bare WinINet reader: GET each URL, write the body to a file, nothing
// else. Under the same Wine it shows the most any engine could reach.
// Usage: wininet_probe READ_BYTES OUT_FOLDER URL...
// Prints the bytes read and the seconds from the first request to the last byte.
#include <windows.h>
#include <wininet.h>

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

// Bytes written, or -1 when the request or the file failed.
long long Fetch(HINTERNET session, const char* url, const char* path, std::vector<char>& buffer)
{
    Closer request{InternetOpenUrlA(session, url, nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)};
    if (!request.handle) return -1;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    long long total = 0;
    DWORD got = 0, written = 0;
    while (InternetReadFile(request.handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got) && got > 0) {
        if (!WriteFile(file, buffer.data(), got, &written, nullptr) || written != got) break;
        total += got;
    }
    CloseHandle(file);
    return total;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) return 2;
    std::vector<char> buffer(std::strtoul(argv[1], nullptr, 10));
    if (buffer.empty()) return 2;
    Closer session{InternetOpenA("Vexil Probe", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)};
    if (!session.handle) return 1;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    long long total = 0;
    for (int i = 3; i < argc; ++i) {
        const char* name = std::strrchr(argv[i], '/');
        char path[MAX_PATH];
        std::snprintf(path, sizeof path, "%s\\%s", argv[2], name ? name + 1 : argv[i]);
        long long got = Fetch(session.handle, argv[i], path, buffer);
        if (got < 0) return 1;
        total += got;
    }
    QueryPerformanceCounter(&end);
    double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("%lld %.3f\n", total, seconds);
    return 0;
}
