#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "state/app_state.h"
#include "app/main_window.h"
#include "support/fresh_state.h"
#include "support/host_path.h"

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAppState();
        // Nothing listens on port 1: start-up fails fast instead of waiting.
        CopyText(AppState.settingsUrl, "http://127.0.0.1:1/glenmoor/download.xml");
        CopyText(AppState.fileListUrl, "http://127.0.0.1:1/downlist.xml");
        instance_ = GetModuleHandleA(nullptr);
        AppState.appInstance = instance_;
        RegisterMainWindowClass(instance_);
        window_ = CreateMainWindow(instance_);
        AppState.mainWindow = window_;
        ASSERT_NE(nullptr, window_);
    }
    void TearDown() override
    {
        AppState.mainWindow = nullptr;  // no quit message for the test's thread
        DestroyWindow(window_);
        UnregisterClassA(kMainWindowClass, instance_);
    }
    SIZE ClientSize() const
    {
        RECT client;
        GetClientRect(window_, &client);
        return {client.right - client.left, client.bottom - client.top};
    }

    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
};

TEST_F(MainWindow, HasTheClassNameAndClientSize)
{
    char name[64];
    GetClassNameA(window_, name, sizeof name);
    EXPECT_STREQ("VAZarodezuro", name);
    SIZE size = ClientSize();
    EXPECT_EQ(544, size.cx);
    EXPECT_EQ(340, size.cy);
}

TEST_F(MainWindow, ClassStyleIconAndCursor)
{
    WNDCLASSA info = {};
    ASSERT_TRUE(GetClassInfoA(instance_, kMainWindowClass, &info));
    EXPECT_EQ(static_cast<UINT>(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS), info.style);
    EXPECT_EQ(MainWindowProc, info.lpfnWndProc);
    EXPECT_EQ(nullptr, info.hbrBackground);
    EXPECT_NE(nullptr, info.hCursor);
}

TEST_F(MainWindow, IsAFixedSizePopupWithCaptionAndMinimiseBox)
{
    LONG style = GetWindowLongA(window_, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
}

TEST_F(MainWindow, SizeMessagesChangeNothing)
{
    SendMessageA(window_, WM_SIZE, SIZE_RESTORED, MAKELPARAM(100, 100));
    SIZE size = ClientSize();
    EXPECT_EQ(544, size.cx);
    EXPECT_EQ(340, size.cy);
}

TEST_F(MainWindow, MinMaxInfoIsLeftAlone)
{
    MINMAXINFO info;
    FillMemory(&info, sizeof info, 0x5A);
    EXPECT_EQ(0, SendMessageA(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)));
    EXPECT_EQ(0x5A5A5A5A, info.ptMaxTrackSize.x);
    EXPECT_EQ(0x5A5A5A5A, info.ptMaxSize.y);
}

TEST_F(MainWindow, TimerOfAnyIdAnswersZero)
{
    EXPECT_EQ(0, SendMessageA(window_, WM_TIMER, 1, 0));
    EXPECT_EQ(0, SendMessageA(window_, WM_TIMER, 4711, 0));
}

TEST_F(MainWindow, SystemDestroyPostsTheQuitMessage)
{
    DestroyWindow(window_);
    EXPECT_EQ(1, AppState.quitting);
    EXPECT_EQ(nullptr, AppState.mainWindow);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, msg.wParam);
}

// Read back as the system does, under code page 949: windres garbles Korean
// text unless the UTF-8 .rc declares its code page.
TEST(VersionResource, ReadsBackInKoreanAndEnglish)
{
    std::string path = HostPath(PROGRAM_PATH);
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_NE(0u, size);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    auto text = [&info](const char* block, const char* name) {
        std::string query = std::string("\\StringFileInfo\\") + block + "\\" + name;
        char* value = nullptr;
        UINT length = 0;
        return VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)
            ? std::string(value) : std::string("(none)");
    };
    EXPECT_EQ("Vexil 다운로더", text("041203b5", "FileDescription"));
    EXPECT_EQ("Vexil Downloader", text("041203b5", "ProductName"));
    EXPECT_EQ("Vexil Downloader", text("040904b0", "FileDescription"));
    EXPECT_EQ("Vexil", text("040904b0", "CompanyName"));
    EXPECT_EQ("1.0.0.0", text("040904b0", "FileVersion"));
    WORD* pairs = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pairs), &length));
    ASSERT_EQ(8u, length);
    EXPECT_EQ((std::vector<WORD>{0x0412, 949, 0x0409, 1200}), std::vector<WORD>(pairs, pairs + 4));
}
