// Failures: each ends in its error code, never in Finished.
#include "common/win_handles.h"
#include "support/http_responder.h"
#include "tkwengine/engine_harness.h"

namespace {

constexpr DWORD kWaitMs = 60000;

// What the server answers and what is there before; what the program hears,
// how many requests it took and how many bytes the file keeps. A transient
// failure is tried three times more; a stalled server is given up on after
// four tries of a 4 s time-out and the waits between them, long before it
// answers.
TEST_F(EngineTest, FailuresEndInTheirErrorCode)
{
    struct Row {
        const char* name;
        HttpReply reply;
        uint64_t size;
        std::string present;
        bool locked;  // by another program
        int32_t error;
        size_t requests;
        size_t kept;
    } const rows[] = {
        {"404", HttpReply::Status(404, "Not Found"), 1000, "", false, kErrorHttp404, 1, 0},
        {"410", HttpReply::Status(410, "Gone"), 1000, "", false, kErrorHttp404, 1, 0},
        {"403", HttpReply::Status(403, "Forbidden"), 1000, "", false, kErrorHttp403, 1, 0},
        {"short body", With(HttpReply::Ok(Pattern(50000, 9)), &HttpReply::closeAfter, size_t{20000}), 50000, "",
         false, kErrorNetwork, 4, 20000},
        {"smaller body", HttpReply::Ok(Pattern(800, 10)), 1000, "", false, kErrorNetwork, 4, 800},
        {"refused range", With(HttpReply::Ok(Pattern(100, 11)), &HttpReply::ranges, true), 1000, Pattern(500, 12),
         false, kErrorRangeRefused, 1, 500},
        {"stalled", With(HttpReply::Ok("late"), &HttpReply::stallMs, DWORD{60000}), 4, "", false, kErrorNetwork, 4, 0},
        {"locked", HttpReply::Ok("data"), 4, "", true, kErrorFileLocked, 0, 0},
        {"no room", HttpReply::Ok("data"), 1ull << 50, "", false, kErrorDiskFull, 0, 0},  // a petabyte fits nowhere
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server;
        server.Serve("/x/fail.bin", row.reply);
        DeleteFileA(Local("fail.bin").c_str());
        if (!row.present.empty()) WriteFileBytes(Local("fail.bin"), row.present);
        FileHandle lock(row.locked ? CreateFileA(Local("fail.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                 0, nullptr)
                                   : INVALID_HANDLE_VALUE);
        ClearEvents();
        DWORD begin = GetTickCount();
        ASSERT_EQ(0, Start(server.Url("/x/fail.bin"), row.size));
        ASSERT_TRUE(WaitForEnd(kWaitMs));
        EXPECT_LT(GetTickCount() - begin, 40000u);
        EXPECT_FALSE(HasEvent(kEngineFinished));
        EXPECT_EQ(row.error, LastErrorCode());
        EXPECT_EQ(row.requests, server.Requests().size());
        lock.Reset();
        EXPECT_EQ(row.kept, ReadFileBytes(Local("fail.bin")).size());
    }
}

// Tried again three times, host and mirror each time.
TEST_F(EngineTest, ServerErrorEverywhereIs2020)
{
    ScriptedServer server;
    server.Serve("/all500.bin", HttpReply::Status(503, "Service Unavailable"));
    Create(("127.0.0.1:" + std::to_string(server.Port())).c_str());
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

TEST_F(EngineTest, CancelDuringAStalledAnswerIsQuickAndSilent)
{
    ScriptedServer server;
    server.Serve("/stall.bin", With(HttpReply::Ok("late"), &HttpReply::stallMs, DWORD{3000}));
    ASSERT_EQ(0, Start(server.Url("/stall.bin"), 4));
    Sleep(500);  // well inside the blocking wait for the answer
    DWORD begin = GetTickCount();
    engine_->CancelDownload();
    EXPECT_LT(GetTickCount() - begin, 250u);
    ClearEvents();
    Sleep(3500);
    EXPECT_TRUE(RecordedEvents().empty());
    WaitForWorkerExit();
}

TEST_F(EngineTest, CancelInTheMiddleKeepsThePartialFile)
{
    ScriptedServer server;
    std::string data = Pattern(16 * 1024 * 1024, 13);
    HttpReply reply = With(HttpReply::Ok(data), &HttpReply::ranges, true);
    reply.bytesPerSecond = 8 * 1024 * 1024;  // still running when cancelled, however fast the engine
    server.Serve("/big.bin", reply);
    ASSERT_EQ(0, Start(server.Url("/big.bin"), data.size()));
    ASSERT_TRUE(WaitForEvent(kEngineProgress, kWaitMs));
    EXPECT_NE(0, Start(server.Url("/big.bin"), data.size()));  // busy
    DWORD begin = GetTickCount();
    engine_->CancelDownload();
    EXPECT_LT(GetTickCount() - begin, 250u);
    ClearEvents();
    Sleep(300);
    size_t kept = ReadFileBytes(Local("big.bin")).size();
    Sleep(700);
    EXPECT_EQ(kept, ReadFileBytes(Local("big.bin")).size());
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, data.size());
    EXPECT_TRUE(RecordedEvents().empty());
    WaitForWorkerExit();
    // The partial file is continued where it stopped.
    ASSERT_EQ(0, Start(server.Url("/big.bin"), data.size()));
    ASSERT_TRUE(WaitForEnd(120000));
    EXPECT_EQ(0, LastErrorCode());
    EXPECT_TRUE(ReadFileBytes(Local("big.bin")) == data);
}

}  // namespace
