// The files that follow the current one, fetched ahead while it runs: each
// waits in its side files until its start, which then finishes at once;
// a pause stops them with it, and a failure is heard only at its turn.
#include <map>
#include <string>
#include <vector>

#include "common/file_names.h"
#include "support/http_responder.h"
#include "tkwengine/engine_harness.h"

namespace {

constexpr DWORD kWaitMs = 30000;

std::vector<int32_t> Events()
{
    std::vector<int32_t> events;
    for (const RecordedEvent& e : RecordedEvents())
        if (e.event != kEngineProgress && e.event != kEngineVerifying) events.push_back(e.event);
    return events;
}

size_t Gets(const ScriptedServer& server, const std::string& path)
{
    size_t count = 0;
    for (const HttpRequest& request : server.Requests()) count += request.method == "GET" && request.path == path;
    return count;
}

class AheadTest : public EngineTest {
protected:
    // a.bin lasts about a second; the others are quick.
    void Serve(ScriptedServer& server, const std::vector<std::string>& names)
    {
        for (size_t i = 0; i < names.size(); ++i) {
            data_[names[i]] = Pattern(i == 0 ? 400000 : 150000 + i, static_cast<unsigned>(40 + i));
            HttpReply reply = Versioned(HttpReply::Ok(data_[names[i]]));
            reply.ranges = true;
            if (i == 0) reply.bytesPerSecond = 400000;
            server.Serve("/" + names[i], reply);
        }
    }
    // The file's turn: started as the program starts it, heard to its end.
    void Turn(const ScriptedServer& server, const std::string& name, const std::string& sha256 = "")
    {
        ClearEvents();
        ASSERT_EQ(0, Start(server.Url("/" + name), data_[name].size(), sha256));
        ASSERT_TRUE(WaitForEnd(kWaitMs)) << name;
    }
    std::map<std::string, std::string> data_;
};

TEST_F(AheadTest, FilesThatFollowAreFetchedAheadAndTakeTheirNamesInTurn)
{
    ScriptedServer server;
    Serve(server, {"a.bin", "b.bin", "c.bin", "d.bin"});
    ASSERT_EQ(0, Start(server.Url("/a.bin"), data_["a.bin"].size()));
    ASSERT_EQ(0, Announce({{server.Url("/b.bin"), data_["b.bin"].size(), ""},
                           {server.Url("/c.bin"), data_["c.bin"].size(), Sha256Of(data_["c.bin"])},
                           {server.Url("/d.bin"), data_["d.bin"].size(), ""},
                           {server.Url("/e.bin"), 16 << 20, ""}}));  // split at its turn: not fetched ahead
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(0u, Gets(server, "/e.bin"));
    for (const char* name : {"b.bin", "c.bin", "d.bin"}) {
        EXPECT_EQ(data_[name], ReadFileBytes(Local(name) + kPartFileSuffix)) << name;
        EXPECT_EQ("", ReadFileBytes(Local(name))) << name;  // its name waits for its turn
    }
    Turn(server, "b.bin");
    Turn(server, "c.bin", Sha256Of(data_["c.bin"]));
    EXPECT_EQ((std::vector<int32_t>{kEngineStarted, kEngineFinished}), Events());
    EXPECT_EQ(0u, FirstValue(kEngineStarted));  // its bytes were fetched in this run
    EXPECT_EQ(data_["c.bin"].size(), FirstValue(kEngineFinished));
    Turn(server, "d.bin");
    for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin"}) {
        EXPECT_EQ(data_[name], ReadFileBytes(Local(name))) << name;
        EXPECT_EQ(1u, Gets(server, std::string("/") + name)) << name;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((Local(name) + kStateFileSuffix).c_str()));
    }
}

// Its server's failure is heard at its turn, after one more try then.
TEST_F(AheadTest, AFailureAheadIsHeardOnlyAtItsTurn)
{
    ScriptedServer server;
    Serve(server, {"a.bin", "b.bin"});
    server.Serve("/gone.bin", HttpReply::Status(404, "Not Found"));
    ASSERT_EQ(0, Start(server.Url("/a.bin"), data_["a.bin"].size()));
    ASSERT_EQ(0, Announce({{server.Url("/gone.bin"), 1000, ""}, {server.Url("/b.bin"), data_["b.bin"].size(), ""}}));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ((std::vector<int32_t>{kEngineStarted, kEngineFinished}), Events());
    EXPECT_EQ(1u, Gets(server, "/gone.bin"));
    ClearEvents();
    ASSERT_EQ(0, Start(server.Url("/gone.bin"), 1000));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(kErrorHttp404, LastErrorCode());
    EXPECT_EQ(2u, Gets(server, "/gone.bin"));
    Turn(server, "b.bin");
    EXPECT_EQ(data_["b.bin"], ReadFileBytes(Local("b.bin")));
    EXPECT_EQ(1u, Gets(server, "/b.bin"));
}

// A pause stops the files fetched ahead with the current one; at their
// turn they go on from the bytes they kept.
TEST_F(AheadTest, APauseStopsThemAndTheyResume)
{
    ScriptedServer server;
    Serve(server, {"a.bin"});
    data_["slow.bin"] = Pattern(2000000, 50);
    HttpReply slow = Versioned(HttpReply::Ok(data_["slow.bin"]));
    slow.ranges = true;
    slow.bytesPerSecond = 1000000;
    server.Serve("/slow.bin", slow);
    const std::string part = Local("slow.bin") + kPartFileSuffix;
    ASSERT_EQ(0, Start(server.Url("/a.bin"), data_["a.bin"].size()));
    ASSERT_EQ(0, Announce({{server.Url("/slow.bin"), data_["slow.bin"].size(), ""}}));
    for (DWORD begin = GetTickCount(); ReadFileBytes(part).size() < 200000 && GetTickCount() - begin < kWaitMs;)
        Sleep(20);
    const DWORD begin = GetTickCount();
    engine_->CancelDownload();
    EXPECT_LT(GetTickCount() - begin, 1000u);
    Sleep(300);
    const size_t kept = ReadFileBytes(part).size();
    Sleep(700);
    EXPECT_EQ(kept, ReadFileBytes(part).size());
    ASSERT_LT(kept, data_["slow.bin"].size());
    WaitForWorkerExit();
    Turn(server, "slow.bin");
    EXPECT_EQ(data_["slow.bin"], ReadFileBytes(Local("slow.bin")));
    std::vector<std::string> ranges;
    for (const HttpRequest& request : server.Requests())
        if (request.path == "/slow.bin") ranges.push_back(request.Header("range"));
    ASSERT_EQ(2u, ranges.size());
    EXPECT_EQ("", ranges[0]);
    EXPECT_EQ(0u, ranges[1].find("bytes="));
}

}  // namespace
