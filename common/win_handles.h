// Owning wrappers so every handle is closed on every path: one uncopyable
// guard, told by its traits what an empty handle is and how to close one.
#pragma once
#include <windows.h>
#include <bcrypt.h>
#include <wininet.h>

template <class Traits> class OwnedHandle {
public:
    using Type = typename Traits::Type;

    explicit OwnedHandle(Type h = Traits::Empty()) : h_(h) {}
    ~OwnedHandle() { Reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    Type Get() const { return h_; }
    bool Valid() const { return h_ != nullptr && h_ != Traits::Empty(); }
    explicit operator bool() const { return Valid(); }
    void Reset(Type h = Traits::Empty())
    {
        if (Valid()) Traits::Close(h_);
        h_ = h;
    }
    // Hands the handle over without closing it.
    Type Release()
    {
        Type h = h_;
        h_ = Traits::Empty();
        return h;
    }
    // Closes now; false when the system reports a failure (for a file, a late
    // write error).
    bool Close()
    {
        const bool closed = Valid() && Traits::Close(h_);
        h_ = Traits::Empty();
        return closed;
    }

private:
    Type h_;
};

struct InternetTraits {
    using Type = HINTERNET;
    static Type Empty() { return nullptr; }
    static bool Close(Type h) { return InternetCloseHandle(h) != FALSE; }
};

// Files, events and threads.
struct KernelTraits {
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return CloseHandle(h) != FALSE; }
};

// A directory search (FindFirstFile).
struct FindTraits {
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return FindClose(h) != FALSE; }
};

// The system's cryptography provider (CNG): an algorithm and a key of it.
struct AlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type Empty() { return nullptr; }
    static bool Close(Type h) { return BCRYPT_SUCCESS(BCryptCloseAlgorithmProvider(h, 0)); }
};

struct CryptKeyTraits {
    using Type = BCRYPT_KEY_HANDLE;
    static Type Empty() { return nullptr; }
    static bool Close(Type h) { return BCRYPT_SUCCESS(BCryptDestroyKey(h)); }
};

using InetHandle = OwnedHandle<InternetTraits>;
using FileHandle = OwnedHandle<KernelTraits>;
using KernelHandle = FileHandle;
using FindHandle = OwnedHandle<FindTraits>;
using AlgorithmHandle = OwnedHandle<AlgorithmTraits>;
using CryptKeyHandle = OwnedHandle<CryptKeyTraits>;
