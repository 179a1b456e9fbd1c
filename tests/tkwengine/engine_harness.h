// Loads the built engine module, records its events and gives each test a
// fresh engine and a temporary folder.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/engine_contract.h"
#include "support/http_responder.h"

struct RecordedEvent {
    int32_t event;
    uint64_t value;
    DWORD thread;
    void* context;
    DWORD tick;
};

// The module's export, loaded once from the build.
GetVDInterfaceProc Entry();

// Every event the callback received, safe to read while the engine runs.
std::vector<RecordedEvent> RecordedEvents();
void ClearEvents();
// Runs inside the callback after each event is recorded, as a program's
// callback would (empty: nothing).
void OnEvent(std::function<void(int32_t event)> hook);
// Waits until a Finished or Error event arrives (and the worker exits); false on time-out.
bool WaitForEnd(DWORD timeoutMs);
// On the Wine bench a socket connect stalls while another thread of the
// process lives, so talk to the server only once the worker is gone.
void WaitForWorkerExit();
// Waits until some event with this code arrives.
bool WaitForEvent(int32_t event, DWORD timeoutMs);
size_t CountEvents(int32_t event);
inline bool HasEvent(int32_t event) { return CountEvents(event) > 0; }
uint64_t FirstValue(int32_t event);  // UINT64_MAX when there was none
int32_t LastErrorCode();             // 0 when there was none

// The scripted server, every call made on a short-lived thread: on the Wine
// bench the main thread's sockets misbehave once another thread has run.
class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;
    void Serve(const std::string& path, const HttpReply& reply);
    std::vector<HttpRequest> Requests() const;
    std::string Url(const std::string& path) const { return responder_->Url(path); }
    uint16_t Port() const { return responder_->Port(); }
    std::string OtherUrl(const std::string& path) const { return responder_->OtherUrl(path); }
    uint16_t OtherPort() const { return responder_->OtherPort(); }
    uint16_t SilentPort() const;

private:
    HttpResponder* responder_ = nullptr;
};

// reply with one of its fields changed.
template <class Field> HttpReply With(HttpReply reply, Field HttpReply::*field, Field value)
{
    reply.*field = value;
    return reply;
}

// Readable while the engine writes the file; empty when there is none.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& data);
std::string Pattern(size_t size, unsigned seed);
std::string Sha256Of(const std::string& data);

// The version test servers give a file whose kept bytes should resume.
constexpr char kVersion[] = "\"v1\"";
inline HttpReply Versioned(HttpReply reply, const std::string& etag = kVersion)
{
    reply.headers.push_back("ETag: " + etag);
    return reply;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // (Re)creates the engine with this server list and points it at folder_.
    void Create(const char* serverList);
    // StartVerifiedDownload with a hash, StartDownload without.
    int32_t Start(const std::string& url, uint64_t size, const std::string& sha256 = "");
    // The files that follow, as the program names them after a start.
    struct Following {
        std::string url;
        uint64_t size;
        std::string sha256;
    };
    int32_t Announce(const std::vector<Following>& files);
    // Fetches path into a fresh local file, with fresh events; true once it ended.
    bool FetchAfresh(const ScriptedServer& server, const std::string& path, uint64_t size,
                     const std::string& sha256 = "");
    std::string Local(const std::string& name) const { return folder_ + "\\" + name; }
    // The side files of a download of data that stopped after kept bytes,
    // its version kVersion from 127.0.0.1:port.
    void KeepPartial(const std::string& name, const std::string& data, size_t kept, uint16_t port);

    EngineInterface* engine_ = nullptr;
    std::string folder_;
};
