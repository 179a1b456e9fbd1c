// The module's one export and the table of operations behind it.
#include <utility>

#include "common/engine_contract.h"
#include "tkwengine/engine.h"

namespace {

// What the table's other operations return.
constexpr int32_t kCallDone = 0;
constexpr int32_t kCallRefused = -1;

// How long a release waits for the engine's threads: the program closes its
// window right after, whatever a server does.
constexpr DWORD kReleaseWaitMs = 1000;

Engine* g_engine = nullptr;

int32_t __stdcall StartDownload(const char* url, uint32_t sizeLow, uint32_t sizeHigh, char*, int32_t)
{
    if (!g_engine) return kStartReleased;
    return g_engine->Start(url, (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow, nullptr);
}

int32_t __stdcall CancelDownload()
{
    if (g_engine) g_engine->Cancel();
    return kCallDone;
}

int32_t __stdcall SetDownloadFolder(const char* folder)
{
    return g_engine && g_engine->SetFolder(folder) ? kCallDone : kCallRefused;
}

int32_t __stdcall Release()
{
    // From inside the callback: the job's thread cannot wait for its own end.
    if (g_engine && g_engine->OnJobThread()) return kCallRefused;
    Engine* engine = std::exchange(g_engine, nullptr);
    if (!engine || engine->Stop(kReleaseWaitMs)) {
        delete engine;
        return kCallDone;
    }
    // A thread stuck in a call of the system's keeps the engine, and the
    // module its code is in, until the process ends.
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&Release), &self);
    return kCallDone;
}

EngineInterface g_table = {&StartDownload, &CancelDownload, &SetDownloadFolder, nullptr, nullptr, nullptr, &Release};

}  // namespace

// StartDownload with the file's SHA-256 (kStartVerifiedDownloadExport).
extern "C" int32_t __stdcall StartVerifiedDownload(const char* url, uint32_t sizeLow, uint32_t sizeHigh, char*, int32_t,
                                                   const char* sha256)
{
    if (!g_engine) return kStartReleased;
    return g_engine->Start(url, (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow, sha256 ? sha256 : "");
}

// The files that follow the one just started (kAnnounceFollowingFilesExport).
extern "C" int32_t __stdcall AnnounceFollowingFiles(const FollowingFile* files, uint32_t count)
{
    if (!g_engine || (count && !files)) return kCallRefused;
    g_engine->Announce(files, count);
    return kCallDone;
}

extern "C" EngineInterface* __stdcall GetVDInterface(const char*, const char* serverList, EngineCallback* callback,
                                                     int32_t, int32_t, int32_t, int32_t, HWND)
{
    if (g_engine) return &g_table;
    if (!callback || !*callback) return nullptr;
    Engine* engine = new (std::nothrow) Engine(*callback, serverList);
    if (!engine || !engine->Launch()) {
        delete engine;
        return nullptr;
    }
    g_engine = engine;
    return &g_table;
}
