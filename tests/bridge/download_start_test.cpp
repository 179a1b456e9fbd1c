#include "state/messages.h"
#include "bridge_fixture.h"
#include "bridge/download_start.h"

#include <algorithm>

using DownloadStart = BridgeTest;
using Lines = std::vector<std::string>;

TEST_F(DownloadStart, HandsTheHeadFileToTheEngine)
{
    AddFile("http://h/a/b/setup.exe", "3000000");
    AddFile("http://h/next.bin", "10");
    OnStartClicked(nullptr);
    EXPECT_EQ(Lines{"StartDownload http://h/a/b/setup.exe 3000000"}, Calls());
    EXPECT_STREQ("setup.exe", AppState.currentFileName);
    EXPECT_STREQ("http://h/a/b/setup.exe", AppState.currentUrl);
    EXPECT_EQ(1, AppState.downloading);
    EXPECT_EQ(2929, AppState.totalProgress.MaxValue());  // whole kilobytes of the total
    EXPECT_TRUE(KillTimer(window_, kProgressTimerId));  // the progress timer was running
}

TEST_F(DownloadStart, SizeTextIsReadAsADecimalPrefix)
{
    AddFile("http://h/f.bin", "123abc");
    ToggleDownload();
    EXPECT_EQ(123, AppState.currentFileSize);
    EXPECT_EQ(Lines{"StartDownload http://h/f.bin 123"}, Calls());
}

TEST_F(DownloadStart, PercentSignsReachTheEngineUnchanged)
{
    AddFile("http://h/my%20file%25.bin", "5");
    ToggleDownload();
    EXPECT_EQ(Lines{"StartDownload http://h/my%20file%25.bin 5"}, Calls());
}

// A file under the name, whatever its size, stays until the engine has a
// whole new copy to put over it; sizes reach it in full 64 bits.
TEST_F(DownloadStart, ALocalFileIsLeftForTheEngineToReplace)
{
    AddFile("http://h/huge.bin", "4294967296");
    WriteLocalFile("huge.bin", 5LL << 30);
    ToggleDownload();
    EXPECT_TRUE(Exists(LocalPath("huge.bin")));
    EXPECT_EQ(Lines{"StartDownload http://h/huge.bin 4294967296"}, Calls());
}

TEST_F(DownloadStart, StopCancelsAndStartAgainResumesTheSameHead)
{
    AddFile("http://h/a.bin", "100");
    OnStartClicked(nullptr);
    OnStartClicked(nullptr);
    EXPECT_EQ(0, AppState.downloading);
    EXPECT_FALSE(KillTimer(window_, kProgressTimerId));  // already stopped
    OnStartClicked(nullptr);
    EXPECT_EQ((Lines{"StartDownload http://h/a.bin 100", "CancelDownload", "StartDownload http://h/a.bin 100"}),
              Calls());
}

TEST_F(DownloadStart, EmptyUrlOrSizeIsRefused)
{
    AddFile("http://h/a.bin", "");
    ToggleDownload();
    EXPECT_STREQ(kMessageBadUrl, AppState.statusMessage);
    EXPECT_EQ(0, AppState.downloading);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(DownloadStart, UnsafeLocalNamesAreRefusedAndNothingIsDeleted)
{
    for (const char* url : {"http://h/..", "http://h/dir/", "http://h/a:b", "no-slash", "http://h/x\\..\\y"}) {
        ResetAppState();
        AppState.mainWindow = window_;
        UseEngine();
        CopyText(AppState.downloadFolder, folder_.c_str());
        AddFile(url, "1");
        ToggleDownload();
        EXPECT_STREQ(kMessageBadUrl, AppState.statusMessage) << url;
        EXPECT_EQ(0, AppState.downloading) << url;
    }
    EXPECT_TRUE(Calls().empty());
}

TEST_F(DownloadStart, PathLongerThanWindowsAllowsIsRefused)
{
    AddFile(("http://h/" + std::string(300 - folder_.size(), 'n')).c_str(), "1");
    ToggleDownload();
    EXPECT_STREQ(kMessageBadUrl, AppState.statusMessage);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(DownloadStart, WithoutAnEngineTheUserIsToldInsteadOfACrash)
{
    AppState.engine = nullptr;
    AddFile("http://h/a.bin", "1");
    OnStartClicked(nullptr);
    EXPECT_STREQ(kMessageUseAnotherWay, AppState.statusMessage);
    EXPECT_EQ(0, AppState.downloading);
}

TEST_F(DownloadStart, RefusedByTheEngineLeavesNothingRunning)
{
    library_.Script("a.bin: refuse 5");
    AddFile("http://h/a.bin", "1");
    ToggleDownload();
    EXPECT_EQ(0, AppState.downloading);
    EXPECT_STREQ("", AppState.statusMessage);
    EXPECT_FALSE(KillTimer(window_, kProgressTimerId));
}

TEST_F(DownloadStart, MessageBlocksTheButtonUnlessRetryIsAllowed)
{
    AddFile("http://h/a.bin", "1");
    CopyText(AppState.statusMessage, "디스크 공간이 부족합니다");
    OnStartClicked(nullptr);
    EXPECT_TRUE(Calls().empty());

    AppState.retryAllowed = 1;
    OnStartClicked(nullptr);
    EXPECT_EQ(1u, Calls().size());
    EXPECT_STREQ("", AppState.statusMessage);
    EXPECT_EQ(0, AppState.retryAllowed);
}

TEST_F(DownloadStart, AStartAfterTheLastFileKeepsTheFinishedState)
{
    AddFile("http://h/a.bin", "1");
    AppState.allDone = 1;
    ToggleDownload();
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(0, AppState.downloading);
    EXPECT_FALSE(KillTimer(window_, kProgressTimerId));
}

// A file with the publisher's hash goes to the module's checked start; an
// older module without it gets the plain one.
TEST_F(DownloadStart, AHashGoesWithTheFileWhenTheModuleCanCheckIt)
{
    const std::string hash(64, 'a');
    AddFile("http://h/a.bin", "10", hash.c_str());
    AddFile("http://h/b.bin", "20");
    ToggleDownload();
    ToggleDownload();
    AppState.fileList.RemoveHead();
    ToggleDownload();
    ToggleDownload();
    AppState.startVerified = nullptr;
    AddFile("http://h/c.bin", "30", hash.c_str());
    AppState.fileList.RemoveHead();
    ToggleDownload();
    EXPECT_EQ((Lines{"StartVerifiedDownload http://h/a.bin 10 " + hash, "CancelDownload", "StartDownload http://h/b.bin 20",
                     "CancelDownload", "StartDownload http://h/c.bin 30"}),
              Calls());
}

namespace {

std::vector<std::string> g_announced;

int32_t __stdcall RecordAnnounced(const FollowingFile* files, uint32_t count)
{
    std::string line;
    for (uint32_t i = 0; i < count; ++i)
        line += std::string(files[i].url) + " " + std::to_string(files[i].sizeLow) + " " + files[i].sha256 + ";";
    g_announced.push_back(line);
    return 0;
}

}  // namespace

// Right after each accepted start, a module that fetches ahead hears of the
// files that follow, as their starts will name them.
TEST_F(DownloadStart, TheFilesThatFollowAreAnnouncedAfterEachStart)
{
    const std::string hash(64, 'b');
    AddFile("http://h/a.bin", "10");
    AddFile("http://h/b.bin", "20", hash.c_str());
    AddFile("http://h/c.bin", "30");
    g_announced.clear();
    AppState.announceFollowing = &RecordAnnounced;
    ToggleDownload();
    ToggleDownload();
    AppState.fileList.RemoveHead();
    ToggleDownload();
    EXPECT_EQ((Lines{"http://h/b.bin 20 " + hash + ";http://h/c.bin 30 ;", "http://h/c.bin 30 ;"}), g_announced);
}

// A start the engine is not ready for (the paused job still letting go)
// waits, without blocking, and is made at the next tick; a pause drops it.
TEST_F(DownloadStart, AStartRightAfterAPauseIsNeverLost)
{
    AddFile("http://h/a.bin", "100");
    library_.Script("a.bin: refuse 1 | a.bin: refuse 1 | a.bin: started 0");
    OnStartClicked(nullptr);
    EXPECT_EQ(1, AppState.downloading);
    EXPECT_EQ(1, AppState.startPending);
    OnStartClicked(nullptr);  // paused
    EXPECT_EQ(0, AppState.startPending);
    OnStartClicked(nullptr);
    OnTimer(window_);
    EXPECT_EQ(0, AppState.startPending);
    EXPECT_EQ(1, AppState.downloading);
    EXPECT_STREQ("a.bin", AppState.currentFileName);
    const Lines calls = Calls();
    EXPECT_EQ(3, std::count(calls.begin(), calls.end(), "StartDownload http://h/a.bin 100"));
}

TEST_F(DownloadStart, TimerMovesTheBarAndRepaintsOnlyTheStatusArea)
{
    SetWindowPos(window_, nullptr, 0, 0, kClientWidth, kClientHeight, SWP_NOMOVE | SWP_SHOWWINDOW);
    ValidateRect(window_, nullptr);
    AppState.completedBytes = 30 * 1024;
    AppState.currentBytesDone = 20 * 1024 + 1023;
    OnTimer(window_);
    RECT update = {};
    GetUpdateRect(window_, &update, FALSE);
    EXPECT_EQ(143, update.left);
    EXPECT_EQ(208, update.top);
    EXPECT_EQ(530, update.right);
    EXPECT_EQ(kClientHeight, update.bottom);
    EXPECT_EQ(50, AppState.totalProgress.Value());
}
