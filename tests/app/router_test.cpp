#include <gtest/gtest.h>

#include "app/pointer_router.h"
#include "app/repaint.h"
#include "skin/pixels.h"
#include "skin/recorder.h"
#include "support/fresh_state.h"

namespace {

LRESULT CALLBACK RoutedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LBUTTONDOWN: OnPointerDown(window, lParam); break;
    case WM_LBUTTONUP: OnPointerUp(lParam); break;
    case WM_MOUSEMOVE: OnPointerMove(window, lParam); break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateRoutedWindow()
{
    static const ATOM windowClass = [] {
        WNDCLASSA description = {};
        description.lpfnWndProc = RoutedWindowProc;
        description.hInstance = GetModuleHandleA(nullptr);
        description.lpszClassName = "VexilSkinRoutedWindow";
        return RegisterClassA(&description);
    }();
    return CreateWindowExA(0, MAKEINTATOM(windowClass), "", WS_POPUP, 100, 100, 300, 200, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// Buttons in a row at the top: start and pause share a place; below them is background.
class RouterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAppState();
        Events().clear();
        window = CreateRoutedWindow();
        AppState.mainWindow = window;
        Place(AppState.startButton, 10);
        Place(AppState.pauseButton, 10);
        Place(AppState.folderButton, 70);
        Place(AppState.closeButton, 130);
        Place(AppState.autoRunButton, 190);
    }

    void TearDown() override
    {
        ReleaseCapture();
        DestroyWindow(window);
        ResetAppState();
    }

    void Place(ButtonSkin& button, int left)
    {
        button.SetBounds(left, 10, 50, 20);
        button.SetImage("normal", look.Handle(), 0, 0, 1, 1, 0);
        button.SetImage("hover", look.Handle(), 0, 0, 1, 1, 0);
        Watch(button);
    }

    void Send(UINT message, int px, int py) { SendMessageA(window, message, 0, MAKELPARAM(px, py)); }
    void Down(int px, int py) { Send(WM_LBUTTONDOWN, px, py); }
    void Up(int px, int py) { Send(WM_LBUTTONUP, px, py); }
    void Move(int px, int py) { Send(WM_MOUSEMOVE, px, py); }

    POINT WindowOrigin() const
    {
        RECT rect = {};
        GetWindowRect(window, &rect);
        return POINT{rect.left, rect.top};
    }

    const Dib look{1, 1};
    HWND window = nullptr;
};

TEST_F(RouterTest, PressMoveOffAndBackReleaseOnTheButtonClicksOnce)
{
    const BaseSkin* start = &AppState.startButton;
    Move(20, 15);
    Down(20, 15);
    Move(20, 100);
    EXPECT_EQ(1, AppState.startButton.StateIndex());
    Move(20, 15);
    Up(20, 15);
    const std::vector<Event> expected = {
        {start, "paint hovered"}, {start, "paint hovered"}, {start, "stateChanged down"},
        {start, "paint hovered"}, {start, "stateChanged up"}, {start, "clicked"}};
    EXPECT_EQ(expected, Events());
}

TEST_F(RouterTest, ReleaseOffTheButtonGivesNoClick)
{
    Down(80, 15);
    Up(80, 100);
    const BaseSkin* folder = &AppState.folderButton;
    const std::vector<Event> expected = {
        {folder, "paint"}, {folder, "stateChanged down"}, {folder, "paint"}, {folder, "stateChanged up"}};
    EXPECT_EQ(expected, Events());
    EXPECT_EQ(nullptr, GetCapture());
}

TEST_F(RouterTest, ReleaseOnAnotherButtonClicksNeither)
{
    Down(80, 15);
    Up(140, 15);
    EXPECT_EQ(0, CountEvents("clicked"));
}

TEST_F(RouterTest, MovingStraightOntoAnotherButtonLeavesTheOldOneFirst)
{
    Move(80, 15);
    Events().clear();
    Move(140, 15);
    const std::vector<Event> expected = {{&AppState.folderButton, "paint"}, {&AppState.closeButton, "paint hovered"}};
    EXPECT_EQ(expected, Events());
    EXPECT_EQ(&AppState.closeButton, AppState.hoverWidget);
}

TEST_F(RouterTest, HoveringHoldsTheCaptureUntilThePointerLeaves)
{
    Move(80, 15);
    EXPECT_EQ(window, GetCapture());
    Move(80, 100);
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_EQ((std::vector<Event>{{&AppState.folderButton, "paint hovered"}, {&AppState.folderButton, "paint"}}),
              Events());
}

TEST_F(RouterTest, PressOnTheBackgroundDragsTheWindowByThePointerOffset)
{
    const POINT start = WindowOrigin();
    Down(250, 150);
    EXPECT_EQ(window, GetCapture());

    Move(270, 160);
    POINT now = WindowOrigin();
    EXPECT_EQ(start.x + 20, now.x);
    EXPECT_EQ(start.y + 10, now.y);

    // The pointer goes on over a button's place; the window follows, no button hears of it.
    POINT pointer = {start.x + 250 - 230, start.y + 150 - 135};
    ScreenToClient(window, &pointer);
    Move(pointer.x, pointer.y);
    now = WindowOrigin();
    EXPECT_EQ(start.x - 230, now.x);
    EXPECT_EQ(start.y - 135, now.y);

    Up(pointer.x, pointer.y);
    EXPECT_EQ(0, AppState.draggingWindow);
    EXPECT_EQ(nullptr, GetCapture());
    Move(pointer.x + 5, pointer.y);
    EXPECT_EQ(now.x, WindowOrigin().x);
    EXPECT_TRUE(Events().empty());
}

TEST_F(RouterTest, PressAndReleaseOnTheBackgroundLeavesTheWindowInPlace)
{
    const POINT start = WindowOrigin();
    Down(250, 150);
    Up(250, 150);
    EXPECT_EQ(start.x, WindowOrigin().x);
    EXPECT_EQ(start.y, WindowOrigin().y);
    EXPECT_TRUE(Events().empty());
}

TEST_F(RouterTest, NegativeCoordinatesHitNothing)
{
    AppState.startButton.SetBounds(-20, -20, 50, 50);
    EXPECT_EQ(&AppState.startButton, WidgetAt(-1, -1));
    AppState.startButton.SetBounds(0, 0, 50, 50);
    Down(-1, -1);
    EXPECT_EQ(1, AppState.draggingWindow);
    EXPECT_TRUE(Events().empty());
    POINT corner = {0, 0};
    ClientToScreen(window, &corner);
    EXPECT_EQ(corner.x - 1, AppState.dragOrigin.x);
    EXPECT_EQ(corner.y - 1, AppState.dragOrigin.y);
}

TEST_F(RouterTest, WhileDownloadingTheStartPlaceBelongsToPause)
{
    AppState.downloading = 1;
    Down(20, 15);
    Up(20, 15);
    EXPECT_EQ(1, CountEvents("clicked"));
    for (const Event& event : Events()) {
        EXPECT_EQ(&AppState.pauseButton, event.widget);
    }
    AppState.downloading = 0;
    EXPECT_EQ(&AppState.startButton, WidgetAt(20, 15));
}

TEST_F(RouterTest, StaticsAndTheSliderAreNeverHit)
{
    AppState.backgroundStatic.SetBounds(0, 0, 300, 200);
    AppState.totalProgress.SetBounds(0, 50, 300, 20);
    EXPECT_EQ(nullptr, WidgetAt(5, 55));
    EXPECT_EQ(nullptr, WidgetAt(250, 150));
}

TEST_F(RouterTest, DisabledButtonLetsThePressFallThroughToDragging)
{
    AppState.closeButton.SetDisabled(true);
    Down(140, 15);
    EXPECT_EQ(1, AppState.draggingWindow);
    EXPECT_EQ(nullptr, AppState.pressedWidget);
}

TEST(RepaintWidget, InvalidatesTheWidgetRectangleOfTheMainWindow)
{
    ResetAppState();
    AppState.mainWindow = CreateRoutedWindow();
    ShowWindow(AppState.mainWindow, SW_SHOWNA);
    ValidateRect(AppState.mainWindow, nullptr);
    BaseSkin widget;
    widget.SetBounds(12, 34, 56, 78);
    RepaintWidget(&widget);
    RECT update = {};
    EXPECT_TRUE(GetUpdateRect(AppState.mainWindow, &update, FALSE));
    EXPECT_EQ(12, update.left);
    EXPECT_EQ(34, update.top);
    EXPECT_EQ(68, update.right);
    EXPECT_EQ(112, update.bottom);
    DestroyWindow(AppState.mainWindow);
    ResetAppState();
}

}  // namespace
