// Owning wrappers so every handle is closed on every path.
#pragma once
#include <windows.h>
#include <wininet.h>

class InetHandle {
public:
    explicit InetHandle(HINTERNET h = nullptr) : h_(h) {}
    ~InetHandle() { Reset(); }
    InetHandle(const InetHandle&) = delete;
    InetHandle& operator=(const InetHandle&) = delete;
    HINTERNET Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void Reset(HINTERNET h = nullptr)
    {
        if (h_) InternetCloseHandle(h_);
        h_ = h;
    }

private:
    HINTERNET h_;
};

class FileHandle {
public:
    explicit FileHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~FileHandle() { Reset(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return h_; }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    void Reset(HANDLE h = INVALID_HANDLE_VALUE)
    {
        if (Valid()) CloseHandle(h_);
        h_ = h;
    }
    // Closes now; false when the system reports a failure (a late write error).
    bool Close()
    {
        bool closed = Valid() && CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE h_;
};

// Events and threads close the way files do.
using KernelHandle = FileHandle;
