#include "bridge_fixture.h"
#include "bridge/engine_events.h"
#include "support/engine_error_cases.h"

using EngineEvents = BridgeTest;

namespace {

// Handles a Progress event exactly elapsedMs after Started. Retries when
// the tick count moves while the event is handled.
void ProgressAfter(uint32_t elapsedMs)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        uint32_t now = GetTickCount();
        AppState.startTick = now - elapsedMs;
        HandleEngineEvent(kEngineProgress, 0);
        if (GetTickCount() == now) return;
    }
}

void FinishedAfter(uint32_t elapsedMs)
{
    AppState.startTick = GetTickCount() - elapsedMs;
    HandleEngineEvent(kEngineFinished, 0);
}

std::string Duration(uint32_t seconds)
{
    char text[kTextSize];
    FormatDuration(seconds, text, sizeof text);
    return text;
}

}  // namespace

TEST_F(EngineEvents, DurationsAreClockTexts)
{
    EXPECT_EQ("00:00:00", Duration(0));
    EXPECT_EQ("01:02:05", Duration(3725));
    EXPECT_EQ("100:00:00", Duration(360000));
}

TEST_F(EngineEvents, CallbackStoresCountsAndPostsTheEvent)
{
    int context = 0;
    EXPECT_EQ(S_OK, OnEngineEvent(&context, kEngineStarted, 5, 1));
    EXPECT_EQ((1LL << 32) + 5, AppState.currentBytesDone);
    EXPECT_EQ((1LL << 32) + 5, AppState.bytesAtStart);
    EXPECT_EQ(S_OK, OnEngineEvent(&context, kEngineProgress, 700, 0));
    EXPECT_EQ(S_OK, OnEngineEvent(&context, kEngineFinished, 900, 0));
    EXPECT_EQ(900, AppState.currentBytesDone);
    EXPECT_EQ((1LL << 32) + 5, AppState.bytesAtStart);
    EXPECT_EQ(S_OK, OnEngineEvent(&context, kEngineError, 2005, 0));
    EXPECT_EQ(S_OK, OnEngineEvent(&context, 1003, 1, 0));

    auto posted = Posted(WM_ENGINE_EVENT);
    ASSERT_EQ(4u, posted.size());
    EXPECT_EQ(std::make_pair(WPARAM(1001), LPARAM(0)), posted[0]);
    EXPECT_EQ(std::make_pair(WPARAM(1002), LPARAM(0)), posted[1]);
    EXPECT_EQ(std::make_pair(WPARAM(1004), LPARAM(0)), posted[2]);
    EXPECT_EQ(std::make_pair(WPARAM(1020), LPARAM(2005)), posted[3]);
}

TEST_F(EngineEvents, NullContextIsRefused)
{
    EXPECT_EQ(E_INVALIDARG, OnEngineEvent(nullptr, kEngineStarted, 5, 0));
    EXPECT_EQ(0, AppState.currentBytesDone);
    EXPECT_TRUE(Posted(WM_ENGINE_EVENT).empty());
}

TEST_F(EngineEvents, ProgressGivesSpeedRemainingTimeAndMegabytes)
{
    AppState.totalSize = 11240000;
    AppState.currentBytesDone = 1000000;
    ProgressAfter(1000);
    EXPECT_STREQ("1000 KB", AppState.speedText);
    EXPECT_STREQ("00:00:10", AppState.remainingText);
    EXPECT_STREQ("0", AppState.totalDoneText);
}

TEST_F(EngineEvents, MegabytesAreTruncated)
{
    AppState.totalSize = 100 << 20;
    AppState.completedBytes = 4194304;
    AppState.currentBytesDone = 1048575;
    ProgressAfter(1000);
    EXPECT_STREQ("4", AppState.totalDoneText);
    AppState.currentBytesDone = 1048576;
    ProgressAfter(1000);
    EXPECT_STREQ("5", AppState.totalDoneText);
}

TEST_F(EngineEvents, ProgressWithoutElapsedTimeOrBytesChangesNothing)
{
    CopyText(AppState.speedText, "7 KB");
    AppState.totalSize = 100000;
    AppState.currentBytesDone = 5000;
    AppState.startTick = GetTickCount() + 100000;  // far from now: no "0 ms" by chance
    AppState.bytesAtStart = 5000;
    ProgressAfter(1000);
    EXPECT_STREQ("7 KB", AppState.speedText);
    AppState.currentBytesDone = 0;
    AppState.bytesAtStart = -1;
    ProgressAfter(1000);
    EXPECT_STREQ("7 KB", AppState.speedText);
}

TEST_F(EngineEvents, SlowTransferLeavesRemainingTimeAsItWas)
{
    CopyText(AppState.remainingText, "00:01:00");
    AppState.totalSize = 100000;
    AppState.currentBytesDone = 500;  // fewer bytes than milliseconds: speed 0
    ProgressAfter(1000);
    EXPECT_STREQ("0 KB", AppState.speedText);
    EXPECT_STREQ("00:01:00", AppState.remainingText);
}

// The first Started of a run resets the speed and takes the time; the speed
// then counts what every file fetched since, not what a file had when it
// started, until a pause or an error ends the run.
TEST_F(EngineEvents, TheSpeedCountsEveryByteFetchedSinceTheRunStarted)
{
    CopyText(AppState.speedText, "55 KB");
    HandleEngineEvent(kEngineStarted, 0);
    EXPECT_STREQ("0 KB", AppState.speedText);
    EXPECT_LE(GetTickCount() - AppState.startTick, 1000u);
    AddFile("http://h/one.bin", "1500000");
    AddFile("http://h/two.bin", "2000000");
    AppState.downloading = 1;
    AppState.bytesAtStart = 500000;  // kept from an earlier run
    AppState.currentBytesDone = 1500000;
    FinishedAfter(1000);
    EXPECT_STREQ("1000 KB", AppState.speedText);
    HandleEngineEvent(kEngineStarted, 0);  // the second file, which had 1,000,000 bytes fetched ahead
    AppState.bytesAtStart = 0;
    AppState.currentBytesDone = 2000000;
    ProgressAfter(2000);
    EXPECT_STREQ("1500 KB", AppState.speedText);
    HandleEngineEvent(kEngineError, kErrorNetwork);
    CopyText(AppState.speedText, "7 KB");
    HandleEngineEvent(kEngineStarted, 0);
    EXPECT_STREQ("0 KB", AppState.speedText);
}

TEST_F(EngineEvents, FinishedFirstOfTwoStartsTheNext)
{
    AddFile("http://h/one.bin", "100");
    AddFile("http://h/two.bin", "200");
    AppState.downloading = 1;
    AppState.currentBytesDone = 100;
    FinishedAfter(10);
    EXPECT_EQ(100, AppState.completedBytes);
    EXPECT_EQ(1u, AppState.fileList.Count());
    EXPECT_EQ(std::vector<std::string>{"StartDownload http://h/two.bin 200"}, Calls());
    EXPECT_EQ(1, AppState.downloading);
    EXPECT_EQ(0, AppState.allDone);
}

// A pause pressed while Finished waited in the queue holds.
TEST_F(EngineEvents, FinishedAfterAPauseStartsNothing)
{
    AddFile("http://h/one.bin", "100");
    AddFile("http://h/two.bin", "200");
    AppState.downloading = 0;
    AppState.currentBytesDone = 100;
    FinishedAfter(10);
    EXPECT_EQ(1u, AppState.fileList.Count());
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(0, AppState.downloading);
}

TEST_F(EngineEvents, FinishedLastFileCompletesTheDownload)
{
    AddFile("http://h/only.bin", "5242880");
    AppState.downloading = 1;
    AppState.autoRun = 0;
    AppState.currentBytesDone = 5242880;
    FinishedAfter(1000);
    EXPECT_STREQ("00:00:00", AppState.remainingText);
    EXPECT_EQ(0, AppState.downloading);
    EXPECT_EQ(1, AppState.allDone);
    EXPECT_STREQ("5", AppState.totalDoneText);
    EXPECT_EQ(1u, AppState.fileList.Count());
}

// The folder is the user's: the run file starts only with the bytes of its
// listed hash (when the list gives one), checked again as it starts.
TEST_F(EngineEvents, TheRunFileStartsOnlyWithItsListedHash)
{
    const std::string program = LocalPath("GlenmoorLauncher.exe"), marker = LocalPath("launched.txt");
    ASSERT_TRUE(CopyFileA(HostPath(LAUNCHER_PATH).c_str(), program.c_str(), FALSE));
    HANDLE file = CreateFileA(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char hash[kSha256TextSize] = {};
    ASSERT_TRUE(HashFileSha256(file, hash));
    CloseHandle(file);
    const struct Row {
        const char* name;
        std::string listed;
        bool starts;
    } rows[] = {{"another hash", std::string(64, 'a'), false}, {"its hash", hash, true}, {"no hash", "", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ResetAppState();
        AppState.mainWindow = window_;
        CopyText(AppState.downloadFolder, folder_.c_str());
        CopyText(AppState.runFileName, "GlenmoorLauncher.exe");
        CopyText(AppState.runFileSha256, row.listed.c_str());
        AppState.autoRun = 1;
        AddFile("http://h/GlenmoorLauncher.exe", "100");
        AppState.downloading = 1;
        AppState.currentBytesDone = 100;
        DeleteFileA(marker.c_str());
        FinishedAfter(10);
        for (int i = 0; i < (row.starts ? 100 : 20) && !Exists(marker); ++i) Sleep(100);
        EXPECT_EQ(row.starts, Exists(marker));
        EXPECT_STREQ(row.starts ? "" : "파일검증을 실패하였습니다", AppState.statusMessage);
        for (int i = 0; i < 100 && !DeleteFileA(program.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND; ++i)
            Sleep(100);  // the started program ends by itself
        ASSERT_TRUE(CopyFileA(HostPath(LAUNCHER_PATH).c_str(), program.c_str(), FALSE));
    }
}

TEST_F(EngineEvents, ShortFinishedNeverCompletes)
{
    AddFile("http://h/only.bin", "1000");
    AppState.downloading = 1;
    AppState.currentBytesDone = 900;
    FinishedAfter(100);
    EXPECT_EQ(1, AppState.downloading);
    EXPECT_EQ(1, AppState.allDone);
    EXPECT_NE(AppState.totalSize, AppState.completedBytes);
}

TEST_F(EngineEvents, ErrorsShowTheirMessageAndRetryRule)
{
    for (const EngineErrorCase& c : kEngineErrorCases) {
        AppState.statusMessage[0] = '\0';
        AppState.retryAllowed = 0;
        AppState.downloading = 1;
        HandleEngineEvent(kEngineError, c.code);
        EXPECT_STREQ(c.message, AppState.statusMessage) << c.code;
        EXPECT_EQ(c.retry, AppState.retryAllowed) << c.code;
        EXPECT_EQ(0, AppState.downloading) << c.code;
    }
}

TEST_F(EngineEvents, UnknownEventsChangeNothing)
{
    AppState.downloading = 1;
    HandleEngineEvent(1003, 0);
    EXPECT_EQ(1, AppState.downloading);
    EXPECT_STREQ("", AppState.speedText);
}

// A file being checked, or an older copy compared, says so where the
// remaining time goes, and the count of bytes stays what it was.
TEST_F(EngineEvents, AFileBeingCheckedOrComparedSaysSo)
{
    const struct {
        int32_t event;
        const char* text;
    } rows[] = {{kEngineVerifying, "파일 확인 중"}, {kEngineComparing, "이전 파일 비교 중"}};
    for (const auto& row : rows) {
        AppState.currentBytesDone = 7;
        EXPECT_EQ(S_OK, OnEngineEvent(&window_, row.event, 5000, 0));
        ASSERT_EQ(1u, Posted(WM_ENGINE_EVENT).size());
        HandleEngineEvent(row.event, 0);
        EXPECT_STREQ(row.text, AppState.remainingText);
        EXPECT_EQ(7, AppState.currentBytesDone);
    }
}
