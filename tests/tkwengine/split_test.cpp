// Large files over several connections: only from servers that answer
// ranges exactly, moving off a failing server, and resumed where each piece
// stood, while the file's own name never holds a file with holes.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>

#include "support/http_responder.h"
#include "tkwengine/engine_harness.h"
#include "tkwengine/resume_state.h"

namespace {

constexpr DWORD kWaitMs = 60000;
constexpr size_t kLarge = 17 << 20;

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

HttpReply ExactRanges(const std::string& data, DWORD bytesPerSecond = 0, const std::string& etag = kVersion)
{
    HttpReply reply = HttpReply::Ok(data);
    reply.ranges = reply.exactRanges = true;
    reply.bytesPerSecond = bytesPerSecond;
    return Versioned(reply, etag);
}

class SplitTest : public EngineTest {
protected:
    // Absent, a prefix of data, or data itself: never a file with holes.
    bool NameHoldsNoHoles(const std::string& name, const std::string& data)
    {
        std::string held = ReadFileBytes(Local(name));
        return held.size() <= data.size() && data.compare(0, held.size(), held) == 0;
    }

    // Waits for the end (or for bytes present, then pauses), watching the name.
    bool Watch(const std::string& name, const std::string& data, uint64_t pauseAt = UINT64_MAX)
    {
        for (DWORD begin = GetTickCount(); GetTickCount() - begin < kWaitMs; Sleep(20)) {
            EXPECT_TRUE(NameHoldsNoHoles(name, data));
            std::vector<RecordedEvent> events = RecordedEvents();
            bool paused = !events.empty() && events.back().event == kEngineProgress && events.back().value >= pauseAt;
            if (paused) engine_->CancelDownload();
            if (paused || HasEvent(kEngineFinished) || HasEvent(kEngineError)) {
                WaitForWorkerExit();
                return true;
            }
        }
        return false;
    }

    void PauseMidway(ScriptedServer& server, const std::string& name, const std::string& data)
    {
        server.Serve("/" + name, ExactRanges(data, 2 << 20));  // per connection: the pause lands mid-way
        ClearEvents();
        ASSERT_EQ(0, Start(server.Url("/" + name), data.size()));
        ASSERT_TRUE(Watch(name, data, 3 << 20));
        EXPECT_FALSE(HasEvent(kEngineFinished));
        EXPECT_TRUE(NameHoldsNoHoles(name, data));
    }
};

// Each with the file's hash, taken while the pieces arrive out of order.
TEST_F(SplitTest, SplitsOnlyWhereRangesAreAnsweredExactly)
{
    struct Row {
        const char* server;
        bool ranges, exact;
        size_t minGets, maxGets;
        DWORD bytesPerSecond;  // per connection: long enough for the hash to follow the pieces
    } const rows[] = {
        {"exact ranges", true, true, 4, SIZE_MAX, 8 << 20},
        {"the rest of the file for a closed range", true, false, 1, 1, 0},
        {"200 to a range", false, false, 1, 1, 0},
    };
    const std::string data = Pattern(kLarge, 21), hash = Sha256Of(data);
    for (const Row& row : rows) {
        ScriptedServer server;
        HttpReply reply = HttpReply::Ok(data);
        reply.ranges = row.ranges;
        reply.exactRanges = row.exact;
        reply.bytesPerSecond = row.bytesPerSecond;
        server.Serve("/split.bin", reply);
        ASSERT_TRUE(FetchAfresh(server, "/split.bin", data.size(), hash));
        EXPECT_TRUE(ReadFileBytes(Local("split.bin")) == data) << row.server;
        std::vector<HttpRequest> gets = server.Requests();
        EXPECT_GE(gets.size(), row.minGets) << row.server;
        EXPECT_LE(gets.size(), row.maxGets) << row.server;
        for (const HttpRequest& get : gets) EXPECT_TRUE(isdigit(get.Header("range").back())) << row.server;
        EXPECT_EQ(std::vector<std::string>{"split.bin"}, FolderNames(folder_)) << row.server;
        EXPECT_EQ(1u, CountEvents(kEngineStarted)) << row.server;
        EXPECT_EQ(1u, CountEvents(kEngineFinished)) << row.server;
        EXPECT_EQ(data.size(), FirstValue(kEngineFinished)) << row.server;
        EXPECT_TRUE(HasEvent(kEngineVerifying)) << row.server;
    }
}

TEST_F(SplitTest, APieceWhoseServerFailsGoesOnFromAnother)
{
    ScriptedServer server;
    const std::string data = Pattern(kLarge, 22);
    HttpReply cut = ExactRanges(data);
    cut.closeAfter = 1 << 20;
    cut.times = 1;  // the opening request, for the first piece
    server.Serve("/mirrored.bin", cut);
    server.Serve("/mirrored.bin", ExactRanges(data, 8 << 20));
    const std::string mirror = "localhost:" + std::to_string(server.Port());
    Create(mirror.c_str());
    ASSERT_EQ(0, Start(server.Url("/mirrored.bin"), data.size()));
    ASSERT_TRUE(WaitForEnd(kWaitMs));
    EXPECT_EQ(0, LastErrorCode());
    EXPECT_TRUE(ReadFileBytes(Local("mirrored.bin")) == data);
    std::vector<HttpRequest> gets = server.Requests();
    EXPECT_TRUE(std::any_of(gets.begin(), gets.end(), [&](const HttpRequest& get) {
        return get.Header("host") == mirror && get.Header("range").rfind("bytes=1048576-", 0) == 0;
    }));
}

TEST_F(SplitTest, APausedDownloadGoesOnWhereEachPieceStood)
{
    ScriptedServer server;
    const std::string data = Pattern(kLarge, 23);
    PauseMidway(server, "paused.bin", data);
    size_t before = server.Requests().size();
    ClearEvents();
    std::atomic<bool> recordAtStart{false};
    OnEvent([&](int32_t event) {
        SideFiles side;
        ResumeState state;
        if (event == kEngineStarted && NameSideFiles(Local("paused.bin").c_str(), side))
            recordAtStart = LoadState(side, data.size(), state) && std::string(state.version.text) == kVersion;
    });
    ASSERT_EQ(0, Start(server.Url("/paused.bin"), data.size()));
    ASSERT_TRUE(Watch("paused.bin", data));
    EXPECT_TRUE(recordAtStart);
    EXPECT_TRUE(ReadFileBytes(Local("paused.bin")) == data);
    EXPECT_EQ(std::vector<std::string>{"paused.bin"}, FolderNames(folder_));
    EXPECT_GE(FirstValue(kEngineStarted), 3u << 20);
    std::vector<HttpRequest> gets = server.Requests();
    for (size_t i = before; i < gets.size(); ++i) {
        EXPECT_NE("bytes=0-", gets[i].Header("range").substr(0, 8));
        EXPECT_EQ(kVersion, gets[i].Header("if-range"));
    }
}

// Kept pieces of a damaged record, of a file of another size, or of another
// version on the server (whether it answers If-Range with the whole file or
// ignores it) go: the file starts again and ends byte for byte the new one;
// after a whole answer to If-Range from a server that takes ranges, over
// every connection again, that answer's body the first piece.
TEST_F(SplitTest, KeptPiecesOfAnotherFileOrADamagedRecordStartTheFileAgain)
{
    const std::string fresh = Pattern(kLarge, 25);
    struct Row {
        const char* fault;
        bool damaged;
        HttpReply first;  // of the new file, to the first request; status 0: as the others
        HttpReply reply;  // of the new file: ranges, and its version
        size_t ranged;    // 206 answers at least
    } const rows[] = {
        {"damaged", true, HttpReply::Status(0, ""), ExactRanges(fresh), 2},
        {"another file", false, HttpReply::Status(0, ""), ExactRanges(fresh + "longer"), 0},
        {"changed, If-Range ignored", false, HttpReply::Status(0, ""), ExactRanges(fresh, 0, "\"v2\""), 2},
        {"changed, sent whole", false, HttpReply::Status(0, ""), Versioned(HttpReply::Ok(fresh), "\"v2\""), 0},
        {"changed, sent whole once, then by ranges", false,
         With(Versioned(HttpReply::Ok(fresh), "\"v2\""), &HttpReply::times, 1), ExactRanges(fresh, 2 << 20, "\"v2\""),
         3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        DeleteFileA(Local("kept.bin").c_str());
        ScriptedServer server;
        PauseMidway(server, "kept.bin", Pattern(kLarge, 24));
        if (row.damaged)
            WriteFileBytes(Local("kept.bin.vxstate"), ReadFileBytes(Local("kept.bin.vxstate")).substr(0, 40));
        ScriptedServer again;
        if (row.first.status) again.Serve("/kept.bin", row.first);
        again.Serve("/kept.bin", row.reply);
        ClearEvents();
        ASSERT_EQ(0, Start(again.Url("/kept.bin"), row.reply.body.size()));
        ASSERT_TRUE(WaitForEnd(kWaitMs));
        EXPECT_EQ(0u, FirstValue(kEngineStarted));
        EXPECT_TRUE(ReadFileBytes(Local("kept.bin")) == row.reply.body);
        size_t ranged = 0;
        for (const HttpRequest& request : again.Requests()) ranged += request.Header("range").find('-') != 0 &&
                                                                     !request.Header("range").empty();
        EXPECT_GE(ranged, row.ranged);
    }
}

}  // namespace
