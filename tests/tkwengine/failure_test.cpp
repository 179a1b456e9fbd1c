// Failures: each ends in its error code, never in Finished.
#include "support/http_responder.h"
#include "tkwengine/engine_harness.h"

namespace {

constexpr DWORD kWaitMs = 60000;

class EngineFailureTest : public EngineTest {
protected:
    int32_t ErrorFor(const HttpReply& reply, uint64_t size = 1000)
    {
        ScriptedServer server;
        server.Serve("/x/fail.bin", reply);
        if (Start(server.Url("/x/fail.bin"), size) != 0) return -1;
        if (!WaitForEnd(kWaitMs)) return -2;
        EXPECT_FALSE(HasEvent(kEngineFinished));
        return LastErrorCode();
    }
};

TEST_F(EngineFailureTest, NotFoundIs2007) { EXPECT_EQ(kErrorHttp404, ErrorFor(HttpReply::Status(404, "Not Found"))); }

TEST_F(EngineFailureTest, ForbiddenIs2006) { EXPECT_EQ(kErrorHttp403, ErrorFor(HttpReply::Status(403, "Forbidden"))); }

// Tried again three times, host and mirror each time.
TEST_F(EngineFailureTest, ServerErrorEverywhereIs2020)
{
    ScriptedServer server;
    server.Serve("/all500.bin", HttpReply::Status(503, "Service Unavailable"));
    Create(("127.0.0.1:" + std::to_string(server.Port())).c_str());
    ASSERT_EQ(0, Start(server.Url("/all500.bin"), 10));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(kErrorServer, LastErrorCode());
    EXPECT_EQ(8u, server.Requests().size());
}

TEST_F(EngineFailureTest, UnreachableHostIs2008)
{
    ASSERT_EQ(0, Start("http://127.0.0.1:1/nothing.bin", 10));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(kErrorNetwork, LastErrorCode());
}

TEST_F(EngineFailureTest, ShortBodyIs2008AndKeepsTheBytes)
{
    HttpReply reply = HttpReply::Ok(Pattern(50000, 9));
    reply.closeAfter = 20000;
    EXPECT_EQ(kErrorNetwork, ErrorFor(reply, 50000));
    EXPECT_EQ(20000u, FileSizeOf(Local("fail.bin")));
}

TEST_F(EngineFailureTest, BodySmallerThanExpectedIs2008)
{
    EXPECT_EQ(kErrorNetwork, ErrorFor(HttpReply::Ok(Pattern(800, 10)), 1000));
}

TEST_F(EngineFailureTest, RefusedRangeIs2010)
{
    HttpReply reply = HttpReply::Ok(Pattern(100, 11));
    reply.ranges = true;
    WriteFileBytes(Local("fail.bin"), Pattern(500, 12));
    EXPECT_EQ(kErrorRangeRefused, ErrorFor(reply, 1000));
}

// Four tries of a 4 s time-out and the waits between them, long before the server answers.
TEST_F(EngineFailureTest, StalledServerIs2008WithinTheTimeOuts)
{
    HttpReply reply = HttpReply::Ok("late");
    reply.stallMs = 60000;
    DWORD begin = GetTickCount();
    EXPECT_EQ(kErrorNetwork, ErrorFor(reply, 4));
    EXPECT_LT(GetTickCount() - begin, 40000u);
}

TEST_F(EngineFailureTest, LockedLocalFileIs2002)
{
    HANDLE lock = CreateFileA(Local("fail.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    EXPECT_EQ(kErrorFileLocked, ErrorFor(HttpReply::Ok("data"), 4));
    CloseHandle(lock);
}

TEST_F(EngineFailureTest, NotEnoughSpaceIs2001)
{
    ScriptedServer server;
    ASSERT_EQ(0, Start(server.Url("/huge.bin"), 1ull << 50));  // a petabyte fits nowhere
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(kErrorDiskFull, LastErrorCode());
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(EngineFailureTest, CancelDuringAStalledAnswerIsQuickAndSilent)
{
    ScriptedServer server;
    HttpReply reply = HttpReply::Ok("late");
    reply.stallMs = 3000;
    server.Serve("/stall.bin", reply);
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

TEST_F(EngineFailureTest, CancelInTheMiddleKeepsThePartialFile)
{
    ScriptedServer server;
    std::string data = Pattern(16 * 1024 * 1024, 13);
    HttpReply reply = HttpReply::Ok(data);
    reply.ranges = true;
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
    uint64_t kept = FileSizeOf(Local("big.bin"));
    Sleep(700);
    EXPECT_EQ(kept, FileSizeOf(Local("big.bin")));
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
