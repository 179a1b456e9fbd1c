// Successful transfers: whole files, resumes, restarts, mirrors.
#include <algorithm>
#include <iterator>

#include "support/host_path.h"
#include "support/http_responder.h"
#include "tkwengine/engine_harness.h"

namespace {

constexpr DWORD kWaitMs = 30000;

TEST_F(EngineTest, DownloadsAWholeFileByteForByte)
{
    ScriptedServer server;
    std::string data = Pattern(3 * 1024 * 1024 + 17, 1);
    server.Serve("/files/whole.bin", HttpReply::Ok(data));
    ASSERT_EQ(0, Start(server.Url("/files/whole.bin"), data.size()));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(0, LastErrorCode());
    EXPECT_EQ(data.size(), FinishedValue());
    EXPECT_TRUE(ReadFileBytes(Local("whole.bin")) == data);
    std::vector<RecordedEvent> events = RecordedEvents();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(kEngineStarted, events.front().event);
    EXPECT_EQ(0u, events.front().value);
    EXPECT_EQ(kEngineProgress, events[events.size() - 2].event);
    EXPECT_EQ(data.size(), events[events.size() - 2].value);
    for (const RecordedEvent& e : events) {
        EXPECT_NE(GetCurrentThreadId(), e.thread);
        EXPECT_NE(nullptr, e.context);
    }
}

TEST_F(EngineTest, ResumesAPartialFileWithARange)
{
    ScriptedServer server;
    std::string data = Pattern(500000, 2);
    HttpReply reply = HttpReply::Ok(data);
    reply.ranges = true;
    server.Serve("/resume.bin", reply);
    WriteFileBytes(Local("resume.bin"), data.substr(0, 123456));
    ASSERT_EQ(0, Start(server.Url("/resume.bin"), data.size()));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(0, LastErrorCode());
    EXPECT_TRUE(ReadFileBytes(Local("resume.bin")) == data);
    ASSERT_EQ(1u, server.Requests().size());
    EXPECT_EQ("bytes=123456-", server.Requests()[0].Header("range"));
    ASSERT_FALSE(RecordedEvents().empty());
    EXPECT_EQ(kEngineStarted, RecordedEvents().front().event);
    EXPECT_EQ(123456u, RecordedEvents().front().value);
}

TEST_F(EngineTest, RestartsFromZeroWhenTheServerIgnoresTheRange)
{
    ScriptedServer server;
    std::string data = Pattern(400000, 3);
    server.Serve("/restart.bin", HttpReply::Ok(data));  // always 200
    WriteFileBytes(Local("restart.bin"), Pattern(100000, 99));  // stale bytes must go
    ASSERT_EQ(0, Start(server.Url("/restart.bin"), data.size()));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(0, LastErrorCode());
    EXPECT_TRUE(ReadFileBytes(Local("restart.bin")) == data);
    EXPECT_EQ("bytes=100000-", server.Requests().at(0).Header("range"));
    EXPECT_EQ(0u, RecordedEvents().front().value);
}

TEST_F(EngineTest, FinishesACompleteFileWithoutATransfer)
{
    ScriptedServer server;
    std::string data = Pattern(5000, 4);
    WriteFileBytes(Local("done.bin"), data);
    ASSERT_EQ(0, Start(server.Url("/done.bin"), data.size()));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(data.size(), FinishedValue());
    EXPECT_TRUE(server.Requests().empty());
}

// The window starts the last file the moment it hears Finished: the file
// must be closed by then, whether fetched whole, resumed or already complete.
TEST_F(EngineTest, AFinishedProgramStartsAtOnce)
{
    const std::string program = ReadFileBytes(HostPath(RUNNABLE_PROGRAM_PATH));
    ASSERT_GT(program.size(), 1000u);
    ScriptedServer server;
    HttpReply reply = HttpReply::Ok(program);
    reply.ranges = true;
    const size_t presentBefore[] = {0, program.size() / 2, program.size(), 0, program.size() / 3, program.size(), 0, 1};
    for (size_t round = 0; round < std::size(presentBefore); ++round) {
        const std::string name = "run" + std::to_string(round) + ".exe";
        server.Serve("/" + name, reply);
        if (presentBefore[round]) WriteFileBytes(Local(name), program.substr(0, presentBefore[round]));
        ClearEvents();
        RunAtFinished(Local(name));
        ASSERT_EQ(0, Start(server.Url("/" + name), program.size()));
        ASSERT_TRUE(WaitForEnd(kWaitMs));
        EXPECT_GT(RunAtFinishedResult(), 31u) << name << " with " << presentBefore[round] << " bytes present";
    }
}

TEST_F(EngineTest, UsesAMirrorWhenTheHostAnswers5xx)
{
    ScriptedServer server;
    std::string data = Pattern(70000, 5);
    HttpReply failing = HttpReply::Status(500, "Internal Server Error", "boom");
    failing.times = 1;
    server.Serve("/m/mirror.bin", failing);
    server.Serve("/m/mirror.bin", HttpReply::Ok(data));
    std::string self = "127.0.0.1:" + std::to_string(server.Port());
    Create(("127.0.0.1:1;" + self).c_str());  // a dead mirror first, then a working one
    ASSERT_EQ(0, Start(server.Url("/m/mirror.bin"), data.size()));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(0, LastErrorCode());
    EXPECT_TRUE(ReadFileBytes(Local("mirror.bin")) == data);
    EXPECT_EQ(2u, server.Requests().size());
}

TEST_F(EngineTest, UsesAMirrorWhenTheHostIsUnreachable)
{
    ScriptedServer server;
    std::string data = Pattern(1000, 6);
    server.Serve("/far.bin", HttpReply::Ok(data));
    Create((" 127.0.0.1:" + std::to_string(server.Port()) + " ").c_str());
    ASSERT_EQ(0, Start("http://127.0.0.1:1/far.bin", data.size()));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(0, LastErrorCode());
    EXPECT_TRUE(ReadFileBytes(Local("far.bin")) == data);
}

TEST_F(EngineTest, RunsOneJobAfterAnother)
{
    ScriptedServer server;
    std::string a = Pattern(2000, 7), b = Pattern(3000, 8);
    server.Serve("/a.bin", HttpReply::Ok(a));
    server.Serve("/b.bin", HttpReply::Ok(b));
    ASSERT_EQ(0, Start(server.Url("/a.bin"), a.size()));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    ClearEvents();
    ASSERT_EQ(0, Start(server.Url("/b.bin"), b.size()));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_TRUE(ReadFileBytes(Local("a.bin")) == a);
    EXPECT_TRUE(ReadFileBytes(Local("b.bin")) == b);
}

// Large reads must not hide a slow transfer: progress keeps coming while the
// body trickles in, at least every half second even when the server sends
// a 64 KiB burst only every other second.
TEST_F(EngineTest, ReportsProgressWhileASlowBodyArrives)
{
    struct Row {
        size_t size;
        DWORD bytesPerSecond;
        size_t minPartial;
    } const rows[] = {{1024 * 1024, 512 * 1024, 5}, {96 * 1024, 32 * 1024, 3}};  // two and three seconds
    for (const Row& row : rows) {
        ScriptedServer server;
        std::string data = Pattern(row.size, 14);
        HttpReply reply = HttpReply::Ok(data);
        reply.bytesPerSecond = row.bytesPerSecond;
        server.Serve("/slow.bin", reply);
        ASSERT_TRUE(FetchAfresh(server, "/slow.bin", data.size()));
        EXPECT_EQ(0, LastErrorCode());
        size_t partial = 0;
        DWORD last = 0, longestGap = 0;
        for (const RecordedEvent& e : RecordedEvents()) {
            if (e.event == kEngineProgress && e.value < data.size()) ++partial;
            if (last) longestGap = std::max(longestGap, e.tick - last);
            last = e.tick;
        }
        EXPECT_GE(partial, row.minPartial) << row.bytesPerSecond;
        EXPECT_LT(longestGap, 1000u) << row.bytesPerSecond;
        EXPECT_TRUE(ReadFileBytes(Local("slow.bin")) == data);
    }
}

// A lost connection or a 5xx answer mid-file is tried again after a wait,
// from the bytes present, and the file finishes.
TEST_F(EngineTest, ATransientFailureMidFileIsTriedAgainFromTheBytesPresent)
{
    const int statuses[] = {0, 503};  // 0: only the lost connection
    for (int status : statuses) {
        ScriptedServer server;
        std::string data = Pattern(600000, 15);
        HttpReply reply = HttpReply::Ok(data);
        reply.ranges = true;
        HttpReply cut = reply;
        cut.closeAfter = 200000;
        cut.times = 1;
        server.Serve("/retry.bin", cut);
        HttpReply failing = HttpReply::Status(status, "Service Unavailable");
        failing.times = 1;
        if (status) server.Serve("/retry.bin", failing);
        server.Serve("/retry.bin", reply);
        ASSERT_TRUE(FetchAfresh(server, "/retry.bin", data.size()));
        EXPECT_EQ(0, LastErrorCode()) << status;
        EXPECT_TRUE(ReadFileBytes(Local("retry.bin")) == data) << status;
        std::vector<HttpRequest> gets = server.Requests();
        ASSERT_EQ(status ? 3u : 2u, gets.size());
        EXPECT_EQ("bytes=200000-", gets.back().Header("range"));
        EXPECT_EQ(0u, RecordedEvents().front().value);
    }
}

// The program starts the next file as soon as it hears Finished, while the
// worker may still be on its way out.
TEST_F(EngineTest, TakesTheNextJobWhileTheLastOneIsStillReporting)
{
    ScriptedServer server;
    std::string a = Pattern(1000, 9), b = Pattern(2000, 10);
    WriteFileBytes(Local("a.bin"), a);
    WriteFileBytes(Local("b.bin"), b);
    HoldAfterFinished(300);
    ASSERT_EQ(0, Start(server.Url("/a.bin"), a.size()));
    ASSERT_TRUE(WaitForEvent(kEngineFinished, kWaitMs));
    ClearEvents();
    EXPECT_EQ(0, Start(server.Url("/b.bin"), b.size()));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(b.size(), FinishedValue());
}

}  // namespace
