#include "tkwengine/engine_harness.h"

#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "common/file_names.h"
#include "common/sha256.h"
#include "support/host_path.h"
#include "tkwengine/state_record.h"

namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
std::vector<RecordedEvent> g_events;
std::function<void(int32_t)> g_hook;

HRESULT __stdcall Record(void* context, int32_t event, uint32_t low, uint32_t high)
{
    if (!context) return E_INVALIDARG;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_events.push_back({event, (static_cast<uint64_t>(high) << 32) | low, GetCurrentThreadId(), context,
                            GetTickCount()});
    }
    g_changed.notify_all();
    if (g_hook) g_hook(event);
    return 0;
}

EngineCallback g_callback = &Record;

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

size_t g_baselineThreads = 0;

size_t CountThreads()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    size_t count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

// With g_mutex held.
bool Heard(int32_t event)
{
    return std::any_of(g_events.begin(), g_events.end(), [&](const RecordedEvent& e) { return e.event == event; });
}

template <class Pred> bool WaitUntil(DWORD timeoutMs, Pred pred)
{
    std::unique_lock<std::mutex> lock(g_mutex);
    return g_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
}

FARPROC Export(const char* name)
{
    static HMODULE module = LoadLibraryA(HostPath(TKWENGINE_PATH).c_str());
    return module ? GetProcAddress(module, name) : nullptr;
}

}  // namespace

GetVDInterfaceProc Entry()
{
    // Through void* because FARPROC's type says nothing of the real one.
    return reinterpret_cast<GetVDInterfaceProc>(reinterpret_cast<void*>(Export("GetVDInterface")));
}

std::vector<RecordedEvent> RecordedEvents()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_events;
}

void OnEvent(std::function<void(int32_t event)> hook) { g_hook = std::move(hook); }

void ClearEvents()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_events.clear();
}

bool WaitForEvent(int32_t event, DWORD timeoutMs)
{
    return WaitUntil(timeoutMs, [event] { return Heard(event); });
}

bool WaitForEnd(DWORD timeoutMs)
{
    bool ended = WaitUntil(timeoutMs, [] { return Heard(kEngineFinished) || Heard(kEngineError); });
    WaitForWorkerExit();
    return ended;
}

void WaitForWorkerExit()
{
    for (int i = 0; i < 500 && CountThreads() > g_baselineThreads; ++i) Sleep(10);
}

size_t CountEvents(int32_t event)
{
    std::vector<RecordedEvent> events = RecordedEvents();
    return static_cast<size_t>(
        std::count_if(events.begin(), events.end(), [&](const RecordedEvent& e) { return e.event == event; }));
}

uint64_t FirstValue(int32_t event)
{
    for (const RecordedEvent& e : RecordedEvents())
        if (e.event == event) return e.value;
    return UINT64_MAX;
}

int32_t LastErrorCode()
{
    int32_t code = 0;
    for (const RecordedEvent& e : RecordedEvents())
        if (e.event == kEngineError) code = static_cast<int32_t>(e.value);
    return code;
}

template <class F> void OffThread(F f) { std::thread(f).join(); }

ScriptedServer::ScriptedServer()
{
    OffThread([this] { responder_ = new HttpResponder(); });
}

ScriptedServer::~ScriptedServer() { delete responder_; }

void ScriptedServer::Serve(const std::string& path, const HttpReply& reply)
{
    OffThread([&] { responder_->Serve(path, reply); });
}

uint16_t ScriptedServer::SilentPort() const
{
    uint16_t port = 0;
    OffThread([&] { port = responder_->SilentPort(); });
    return port;
}

std::vector<HttpRequest> ScriptedServer::Requests() const
{
    std::vector<HttpRequest> requests;
    OffThread([&] { requests = responder_->Requests(); });
    return requests;
}

std::string ReadFileBytes(const std::string& path)
{
    std::string data;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return data;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) data.append(chunk, got);
    CloseHandle(file);
    return data;
}

void WriteFileBytes(const std::string& path, const std::string& data)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(data.size(), written);
}

std::string Pattern(size_t size, unsigned seed)
{
    std::string data(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : data) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return data;
}

std::string Sha256Of(const std::string& data)
{
    Sha256 sha;
    char hex[kSha256TextSize] = {};
    EXPECT_TRUE(sha.Add(data.data(), static_cast<DWORD>(data.size())) && sha.Finish(hex));
    return hex;
}

void EngineTest::SetUp()
{
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
    folder_ = std::string(temp) + "tkwengine_test_" + std::to_string(GetCurrentProcessId()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RemoveTree(folder_);
    ASSERT_NE(nullptr, Entry()) << "cannot load " << TKWENGINE_PATH;
    ClearEvents();
    Create("");
    g_baselineThreads = CountThreads();
}

void EngineTest::TearDown()
{
    if (engine_) engine_->Release();
    engine_ = nullptr;
    OnEvent(nullptr);
    RemoveTree(folder_);
}

void EngineTest::Create(const char* serverList)
{
    if (engine_) engine_->Release();
    engine_ = Entry()("svc", serverList, &g_callback, 1, 0, 0, 0, GetDesktopWindow());
    ASSERT_NE(nullptr, engine_);
    ASSERT_EQ(0, engine_->SetDownloadFolder(folder_.c_str()));
}

int32_t EngineTest::Start(const std::string& url, uint64_t size, const std::string& sha256)
{
    static auto verified =
        reinterpret_cast<StartVerifiedDownloadProc>(reinterpret_cast<void*>(Export(kStartVerifiedDownloadExport)));
    char text[512] = {};
    const uint32_t low = static_cast<uint32_t>(size), high = static_cast<uint32_t>(size >> 32);
    return sha256.empty() ? engine_->StartDownload(url.c_str(), low, high, text, 0)
                          : verified(url.c_str(), low, high, text, 0, sha256.c_str());
}

int32_t EngineTest::Announce(const std::vector<Following>& files)
{
    static auto announce = reinterpret_cast<AnnounceFollowingFilesProc>(
        reinterpret_cast<void*>(Export(kAnnounceFollowingFilesExport)));
    std::vector<FollowingFile> named;
    for (const Following& file : files)
        named.push_back({file.url.c_str(), static_cast<uint32_t>(file.size), static_cast<uint32_t>(file.size >> 32),
                         file.sha256.c_str()});
    return announce(named.data(), static_cast<uint32_t>(named.size()));
}

bool EngineTest::FetchAfresh(const ScriptedServer& server, const std::string& path, uint64_t size,
                             const std::string& sha256)
{
    DeleteFileA(Local(path.substr(path.rfind('/') + 1)).c_str());
    ClearEvents();
    return Start(server.Url(path), size, sha256) == 0 && WaitForEnd(60000);
}

void EngineTest::KeepPartial(const std::string& name, const std::string& data, size_t kept, uint16_t port)
{
    WriteFileBytes(Local(name) + kPartFileSuffix, data.substr(0, kept));
    ResumeState state;
    state.size = data.size();
    state.count = 1;
    state.missing[0] = {kept, data.size()};
    CopyText(state.version.text, kVersion);
    CopyText(state.server.host, "127.0.0.1");
    state.server.port = port;
    StateRecord record = SealRecord(state);
    WriteFileBytes(Local(name) + kStateFileSuffix, std::string(reinterpret_cast<const char*>(&record), sizeof record));
}
