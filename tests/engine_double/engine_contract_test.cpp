// The program against the contract-checking engine library: the calls it
// makes, with their arguments and order, and how it answers each event.
#include <shlobj.h>

#include "app/commands.h"
#include "state/app_state.h"
#include "state/messages.h"
#include "common/engine_contract.h"
#include "support/engine_error_cases.h"
#include "window_fixture.h"

namespace {

class EngineContract : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ServeSettings("AppData", "Client");
        folder_ = SpecialFolder(CSIDL_APPDATA) + "\\Client";
    }
    // Start-up with the given files, ready for the start button.
    void OpenWith(const std::vector<std::pair<std::string, int64_t>>& files)
    {
        ServeFileList(files);
        PlaceContractEngine();
        Open();
        ASSERT_TRUE(library_.Loaded());
    }
    std::vector<std::string> Expected(std::initializer_list<std::string> afterStartUp) const
    {
        std::vector<std::string> calls = StartUpCalls(folder_);
        calls.insert(calls.end(), afterStartUp);
        return calls;
    }
    std::string Start(const std::string& name, int64_t size) const
    {
        return "StartDownload " + FileUrl(name) + " " + std::to_string(size);
    }
    bool Downloading() { return AppState.downloading == 1; }
    bool Stopped() { return AppState.downloading == 0; }

    std::string folder_;
};

bool IsSpeedText(const char* text)
{
    const std::string speed = text;
    if (speed.size() < 4 || speed.compare(speed.size() - 3, 3, " KB") != 0 || speed[0] < '1' || speed[0] > '9')
        return false;
    return speed.find_first_not_of("0123456789") == speed.size() - 3;
}

}  // namespace

TEST_F(EngineContract, StartUpObtainsTheEngineAndHandsItTheFolder)
{
    OpenWith({{"a.bin", 1000}});
    EXPECT_EQ(StartUpCalls(folder_), library_.Calls());
    EXPECT_EQ(library_.Module(), AppState.engineModule);
    EXPECT_TRUE(library_.Violations().empty()) << library_.Violations()[0];
}

TEST_F(EngineContract, FilesAreFetchedOneAfterTheOther)
{
    const int64_t large = (5LL << 30) + 1;  // both halves of the 64-bit size in use
    OpenWith({{"a.bin", 1000}, {"b.bin", large}});
    library_.Script("a.bin: started 0, wait 30, progress 500, wait 30, finished 1000 | b.bin: started 0, wait 30, finished " +
           std::to_string(large));
    ClickStart();
    EXPECT_TRUE(Downloading());
    ASSERT_TRUE(PumpUntil([] { return AppState.allDone == 1; }));
    EXPECT_EQ(Expected({Start("a.bin", 1000), Start("b.bin", large)}), library_.Calls());
    EXPECT_EQ(1000 + large, AppState.completedBytes);
    EXPECT_STREQ("00:00:00", AppState.remainingText);
    EXPECT_STREQ("5120", AppState.totalDoneText);
    EXPECT_STREQ("b.bin", AppState.currentFileName);
    EXPECT_STREQ("", AppState.statusMessage);
    EXPECT_EQ(0, AppState.downloading);
    EXPECT_EQ(1u, AppState.fileList.Count());
    EXPECT_TRUE(library_.Violations().empty()) << library_.Violations()[0];
}

TEST_F(EngineContract, ProgressTextsFollowTheEngine)
{
    OpenWith({{"big.bin", 8 << 20}});
    library_.Script("big.bin: started 1048576, wait 200, progress 5242880");
    ClickStart();
    ASSERT_TRUE(PumpUntil([] { return strcmp(AppState.totalDoneText, "5") == 0; }));
    EXPECT_EQ(1048576, AppState.bytesAtStart);
    EXPECT_EQ(5242880, AppState.currentBytesDone);
    EXPECT_TRUE(IsSpeedText(AppState.speedText)) << AppState.speedText;
    EXPECT_TRUE(Downloading());
    EXPECT_TRUE(library_.Violations().empty()) << library_.Violations()[0];
}

TEST_F(EngineContract, StopThenStartAgainRestartsTheSameFile)
{
    OpenWith({{"a.bin", 1000}, {"b.bin", 10}});
    library_.Script("a.bin: started 0, wait 20, progress 100");
    ClickStart();
    ASSERT_TRUE(PumpUntil([] { return AppState.currentBytesDone == 100; }));
    ClickStart();
    EXPECT_TRUE(Stopped());
    ClickStart();
    EXPECT_TRUE(Downloading());
    PumpFor(100);
    EXPECT_EQ(Expected({Start("a.bin", 1000), "CancelDownload", Start("a.bin", 1000)}), library_.Calls());
    EXPECT_TRUE(library_.Violations().empty()) << library_.Violations()[0];
}

TEST_F(EngineContract, EveryErrorShowsItsMessageAndOnlySomeAllowARetry)
{
    OpenWith({{"a.bin", 1000}});
    for (const EngineErrorCase& error : kEngineErrorCases) {
        const std::string code = std::to_string(error.code);
        library_.Script("a.bin: started 0, wait 20, error " + code + " | a.bin: started 0");
        AppState.statusMessage[0] = '\0';
        const size_t before = library_.Calls().size();
        ClickStart();
        ASSERT_TRUE(PumpUntil([this] { return Stopped(); })) << code;
        EXPECT_STREQ(error.message, AppState.statusMessage) << code;
        EXPECT_EQ(error.retry, AppState.retryAllowed) << code;
        EXPECT_TRUE(library_.Logged("event 1020 " + code));
        ClickStart();
        const bool retried = error.retry == 1 || error.message[0] == '\0';
        EXPECT_EQ(retried ? before + 2 : before + 1, library_.Calls().size()) << code;
        EXPECT_EQ(retried ? 1 : 0, AppState.downloading) << code;
        if (retried) ClickStart();  // stops the retried transfer
        EXPECT_TRUE(Stopped()) << code;
    }
    EXPECT_TRUE(library_.Violations().empty()) << library_.Violations()[0];
}

TEST_F(EngineContract, Event1003AndANullContextAreDropped)
{
    OpenWith({{"a.bin", 1000}});
    library_.Script("a.bin: started 0, wait 20, event 1003 777, wait 20, null 1002 555, wait 20, progress 9");
    ClickStart();
    const auto queued = [this] {
        MSG msg;
        return PeekMessageA(&msg, window_, WM_ENGINE_EVENT, WM_ENGINE_EVENT, PM_NOREMOVE) != FALSE;
    };
    ASSERT_TRUE(PumpUntil([this] { return library_.Logged("event 1003 777"); }));
    EXPECT_FALSE(queued());
    EXPECT_EQ(0, AppState.currentBytesDone);
    ASSERT_TRUE(PumpUntil([this] { return library_.Logged("event 1002 555 context=null"); }));
    EXPECT_FALSE(queued());
    EXPECT_EQ(0, AppState.currentBytesDone);
    ASSERT_TRUE(PumpUntil([] { return AppState.currentBytesDone == 9; }));
    EXPECT_TRUE(Downloading());
    EXPECT_TRUE(library_.Violations().empty()) << library_.Violations()[0];  // the null context was refused
}

TEST_F(EngineContract, ARefusedStartLeavesTheButtonToPressAgain)
{
    OpenWith({{"a.bin", 1000}});
    library_.Script("a.bin: refuse 7 | a.bin: started 0");
    ClickStart();
    EXPECT_TRUE(Stopped());
    EXPECT_STREQ("", AppState.statusMessage);
    ClickStart();
    EXPECT_TRUE(Downloading());
    EXPECT_EQ(Expected({Start("a.bin", 1000), Start("a.bin", 1000)}), library_.Calls());
}

TEST_F(EngineContract, CloseWhenIdleReleasesTheEngine)
{
    OpenWith({{"a.bin", 1000}});
    ClickClose();
    EXPECT_EQ(Expected({"Release"}), library_.Calls());
    EXPECT_EQ(nullptr, AppState.engineModule);
    EXPECT_EQ(nullptr, AppState.engine);
    PumpFor(0);
    EXPECT_TRUE(quitPosted_);
    EXPECT_TRUE(library_.Violations().empty()) << library_.Violations()[0];
}

TEST_F(EngineContract, CloseIsInertWhileDownloadingAndASystemCloseCancelsFirst)
{
    OpenWith({{"a.bin", 1000}});
    library_.Script("a.bin: started 0");
    ClickStart();
    ClickClose();
    EXPECT_EQ(Expected({Start("a.bin", 1000)}), library_.Calls());
    DestroyWindow(window_);
    window_ = nullptr;
    EXPECT_EQ(Expected({Start("a.bin", 1000), "CancelDownload", "Release"}), library_.Calls());
    EXPECT_TRUE(library_.Violations().empty()) << library_.Violations()[0];
}

TEST_F(EngineContract, AFolderTheEngineRefusesIsNotTaken)
{
    OpenWith({{"a.bin", 10}});
    library_.Script("folder: refuse -1 | folder: refuse 0");
    UseDownloadFolder("C:\\refused");
    EXPECT_EQ(folder_, AppState.downloadFolder);
    EXPECT_STREQ(kMessageFolderRefused, AppState.statusMessage);
    EXPECT_EQ(1, AppState.retryAllowed);  // the user may pick again
    UseDownloadFolder("C:\\taken");
    EXPECT_STREQ("C:\\taken", AppState.downloadFolder);
    EXPECT_TRUE(library_.Logged("SetDownloadFolder C:\\refused"));
}
