// Failures: each ends in its error code, never in Finished.
#include "common/file_names.h"
#include "common/win_handles.h"
#include "support/http_responder.h"
#include "tkwengine/engine_harness.h"

namespace {

constexpr DWORD kWaitMs = 60000;

enum class Lock { None, Before, OnStarted };  // the file's name, held by another program

HttpReply Moved(const std::string& location)
{
    return With(HttpReply::Status(302, "Found"), &HttpReply::headers, std::vector<std::string>{"Location: " + location});
}

// What the server answers and what is there before (a file under the name,
// bytes kept in the side files); what the program hears, how many requests
// it took and how many bytes the part file holds then. The name keeps what
// it held, and the part file never holds a byte past the size. A transient
// failure is tried three times more; a stalled server is given up on after
// four tries of a 4 s time-out and the waits between them, long before it
// answers.
TEST_F(EngineTest, FailuresEndInTheirErrorCode)
{
    const std::string data = Pattern(1000, 12), old = Pattern(700, 13);  // old: a file of another size
    struct Row {
        const char* name;
        HttpReply reply;
        uint64_t size;
        std::string present;
        size_t kept;  // of data
        std::string hash;
        Lock lock;
        int32_t error;
        size_t requests;
        size_t part;
    } const rows[] = {
        {"404", HttpReply::Status(404, "Not Found"), 1000, "", 0, "", Lock::None, kErrorHttp404, 1, 0},
        {"410", HttpReply::Status(410, "Gone"), 1000, "", 0, "", Lock::None, kErrorHttp404, 1, 0},
        {"403", HttpReply::Status(403, "Forbidden"), 1000, "", 0, "", Lock::None, kErrorHttp403, 1, 0},
        {"short body", With(HttpReply::Ok(Pattern(50000, 9)), &HttpReply::closeAfter, size_t{20000}), 50000, old,
         0, "", Lock::None, kErrorNetwork, 4, 20000},
        {"smaller body", HttpReply::Ok(Pattern(800, 10)), 1000, old, 0, "", Lock::None, kErrorServerChanged, 1, 0},
        {"longer body", HttpReply::Ok(data + "more"), 1000, old, 0, "", Lock::None, kErrorServerChanged, 1, 0},
        {"longer body of no length", With(HttpReply::Ok(data + "more"), &HttpReply::contentLength, std::string("none")),
         1000, old, 0, "", Lock::None, kErrorServerChanged, 1, 0},
        {"another total", With(HttpReply::Ok(data + "more"), &HttpReply::ranges, true), 1000, "", 500, "", Lock::None,
         kErrorServerChanged, 1, 500},
        {"refused range, a shorter file", With(HttpReply::Ok(Pattern(100, 11)), &HttpReply::ranges, true), 1000, "",
         500, "", Lock::None, kErrorServerChanged, 2, 0},
        {"bad copy", HttpReply::Ok(data), 1000, old, 0, Sha256Of(old + "!"), Lock::None, kErrorVerifyFailed, 1, 0},
        {"stalled", With(HttpReply::Ok("late"), &HttpReply::stallMs, DWORD{60000}), 4, "", 0, "", Lock::None,
         kErrorNetwork, 4, 0},
        // A request that ends in a redirect fails, as an unreachable server does.
        {"redirect loop", Moved("/x/fail.bin"), 1000, "", 0, "", Lock::None, kErrorNetwork, 4 * 6, 0},
        {"redirect to nowhere", HttpReply::Status(302, "Found"), 1000, "", 0, "", Lock::None, kErrorNetwork, 4, 0},
        {"locked", HttpReply::Ok("data"), 4, "", 0, "", Lock::Before, kErrorFileLocked, 0, 0},
        {"locked when whole", HttpReply::Ok(data), 1000, old, 0, "", Lock::OnStarted, kErrorFileLocked, 1, 1000},
        // A petabyte fits nowhere.
        {"no room", HttpReply::Ok("data"), 1ull << 50, "", 0, "", Lock::None, kErrorDiskFull, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server;
        server.Serve("/x/fail.bin", Versioned(row.reply));
        const std::string name = Local("fail.bin"), part = name + kPartFileSuffix;
        DeleteFileA(name.c_str());
        DeleteFileA(part.c_str());
        if (!row.present.empty()) WriteFileBytes(name, row.present);
        if (row.kept) KeepPartial("fail.bin", data, row.kept, server.Port());
        FileHandle lock;
        auto hold = [&] { lock.Reset(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr)); };
        if (row.lock == Lock::Before) hold();
        OnEvent([&](int32_t event) {
            if (event == kEngineStarted && row.lock == Lock::OnStarted) hold();
        });
        ClearEvents();
        DWORD begin = GetTickCount();
        ASSERT_EQ(0, Start(server.Url("/x/fail.bin"), row.size, row.hash));
        ASSERT_TRUE(WaitForEnd(kWaitMs));
        EXPECT_LT(GetTickCount() - begin, 40000u);
        EXPECT_FALSE(HasEvent(kEngineFinished));
        EXPECT_EQ(row.error, LastErrorCode());
        EXPECT_EQ(row.requests, server.Requests().size());
        lock.Reset();
        EXPECT_TRUE(ReadFileBytes(name) == row.present);
        EXPECT_EQ(row.part, ReadFileBytes(part).size());
    }
    OnEvent(nullptr);
}

// Tried again three times, host and mirror each time; a mirror that is the
// host again is not asked twice.
TEST_F(EngineTest, ServerErrorEverywhereIs2020)
{
    ScriptedServer server;
    server.Serve("/all500.bin", HttpReply::Status(503, "Service Unavailable"));
    const std::string port = std::to_string(server.Port());
    Create(("127.0.0.1:" + port + ";localhost:" + port).c_str());
    ASSERT_EQ(0, Start(server.Url("/all500.bin"), 10));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(kErrorServer, LastErrorCode());
    EXPECT_EQ(8u, server.Requests().size());
}

TEST_F(EngineTest, UnreachableHostIs2008)
{
    ASSERT_EQ(0, Start("http://127.0.0.1:1/nothing.bin", 10));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(kErrorNetwork, LastErrorCode());
}

// A cancel before the server answers is quick and silent, and the next start
// is taken at once: also when a TLS handshake hangs, which WinINet under
// Wine neither times out nor lets a closed handle end.
TEST_F(EngineTest, CancelDuringAStalledAnswerIsQuickAndSilent)
{
    ScriptedServer server;
    server.Serve("/stall.bin", With(HttpReply::Ok("late"), &HttpReply::stallMs, DWORD{3000}));
    const std::string stalled[] = {server.Url("/stall.bin"),
                                   "https://127.0.0.1:" + std::to_string(server.SilentPort()) + "/stall.bin"};
    for (const std::string& url : stalled) {
        SCOPED_TRACE(url);
        server.Serve("/next.bin", HttpReply::Ok("next"));
        ASSERT_EQ(0, Start(url, 4));
        Sleep(500);  // well inside the blocking wait for the answer
        const DWORD begin = GetTickCount();
        engine_->CancelDownload();
        EXPECT_LT(GetTickCount() - begin, 250u);
        ClearEvents();
        EXPECT_EQ(0, Start(server.Url("/next.bin"), 4));
        EXPECT_LT(GetTickCount() - begin, 1500u);
        ASSERT_TRUE(WaitForEnd(kWaitMs));
        Sleep(3500 - std::min<DWORD>(3500, GetTickCount() - begin));  // past the late answer
        EXPECT_EQ(0, LastErrorCode());
        EXPECT_EQ("next", ReadFileBytes(Local("next.bin")));
        DeleteFileA(Local("next.bin").c_str());
    }
}

TEST_F(EngineTest, CancelInTheMiddleKeepsThePartialFile)
{
    ScriptedServer server;
    std::string data = Pattern(16 * 1024 * 1024, 13);
    HttpReply reply = Versioned(With(HttpReply::Ok(data), &HttpReply::ranges, true));
    reply.bytesPerSecond = 8 * 1024 * 1024;  // still running when cancelled, however fast the engine
    server.Serve("/big.bin", reply);
    const std::string part = Local("big.bin") + kPartFileSuffix;
    ASSERT_EQ(0, Start(server.Url("/big.bin"), data.size()));
    ASSERT_TRUE(WaitForEvent(kEngineProgress, kWaitMs));
    EXPECT_NE(0, Start(server.Url("/big.bin"), data.size()));  // busy
    DWORD begin = GetTickCount();
    engine_->CancelDownload();
    EXPECT_LT(GetTickCount() - begin, 250u);
    ClearEvents();
    Sleep(300);
    size_t kept = ReadFileBytes(part).size();
    Sleep(700);
    EXPECT_EQ(kept, ReadFileBytes(part).size());
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, data.size());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Local("big.bin").c_str()));
    EXPECT_TRUE(RecordedEvents().empty());
    WaitForWorkerExit();
    // The partial file is continued where it stopped.
    ASSERT_EQ(0, Start(server.Url("/big.bin"), data.size()));
    ASSERT_TRUE(WaitForEnd(120000));
    EXPECT_EQ(0, LastErrorCode());
    EXPECT_GT(FirstValue(kEngineStarted), 0u);
    EXPECT_TRUE(ReadFileBytes(Local("big.bin")) == data);
}

}  // namespace
