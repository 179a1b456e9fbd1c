#include <gtest/gtest.h>

#include <vector>

#include "recorder.h"
#include "skin/base_skin.h"

namespace {

TEST(BaseSkin, HitTestCoversTheLeftTopEdgeButNotTheRightOne)
{
    BaseSkin widget;
    widget.SetBounds(10, 20, 30, 40);
    EXPECT_TRUE(widget.HitTest(10, 20));
    EXPECT_TRUE(widget.HitTest(39, 59));
    EXPECT_FALSE(widget.HitTest(40, 20));
    EXPECT_FALSE(widget.HitTest(10, 60));
    EXPECT_FALSE(widget.HitTest(9, 20));
}

TEST(BaseSkin, EmptyHiddenOrDisabledWidgetsAreNeverHit)
{
    BaseSkin flat;
    flat.SetBounds(0, 0, 0, 10);
    EXPECT_FALSE(flat.HitTest(0, 0));
    BaseSkin hidden;
    hidden.SetBounds(0, 0, 10, 10);
    hidden.SetVisible(false);
    EXPECT_FALSE(hidden.HitTest(5, 5));
    BaseSkin disabled;
    disabled.SetBounds(0, 0, 10, 10);
    disabled.SetDisabled(true);
    EXPECT_FALSE(disabled.HitTest(5, 5));
}

TEST(BaseSkin, MoveThenResizeKeepsBoth)
{
    BaseSkin widget;
    widget.MoveTo(10, 20);
    widget.Resize(30, 40);
    int bounds[4] = {};
    widget.GetBounds(&bounds[0], &bounds[1], &bounds[2], &bounds[3]);
    EXPECT_EQ((std::vector<int>{10, 20, 30, 40}), std::vector<int>(bounds, bounds + 4));
}

TEST(BaseSkin, PaintCallbackNameIgnoresCaseAndCanBeRemoved)
{
    Events().clear();
    BaseSkin widget;
    widget.Invalidate();
    widget.SetCallback("PAINT", RecordPaint);
    widget.Invalidate();
    widget.SetCallback("pAiNt", RecordPaint);
    widget.Invalidate();
    widget.SetCallback("clicked", nullptr);
    widget.Invalidate();
    widget.SetCallback("paint", nullptr);
    widget.Invalidate();
    EXPECT_EQ(3u, Events().size());
}

TEST(BaseSkin, PointerEventsOnlySetTheFlags)
{
    BaseSkin widget;
    widget.OnButtonDown(0, 0);
    widget.OnMouseEnter(0, 0);
    EXPECT_TRUE(widget.IsPressed());
    EXPECT_TRUE(widget.IsHovered());
    widget.OnButtonUp(0, 0);
    widget.OnMouseLeave(0, 0);
    EXPECT_FALSE(widget.IsPressed());
    EXPECT_FALSE(widget.IsHovered());
}

// A window that keeps the tooltip messages it receives.
struct ToolMessage {
    UINT message;
    WPARAM wParam;
    UINT cbSize;
    RECT rect;
};

std::vector<ToolMessage>& ToolMessages()
{
    static std::vector<ToolMessage> messages;
    return messages;
}

LRESULT CALLBACK ToolWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= TTM_ADDTOOLA && message <= TTM_NEWTOOLRECTA) {
        const auto* info = reinterpret_cast<const TOOLINFOA*>(lParam);
        ToolMessages().push_back({message, wParam, info->cbSize, info->rect});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreatePlainWindow(const char* className, WNDPROC procedure, DWORD style = WS_POPUP)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, className, "", style, 100, 100, 300, 200, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

TEST(BaseSkin, AttachedTooltipFollowsBoundsAndRegistration)
{
    const HWND tooltip = CreatePlainWindow("VexilSkinToolRecorder", ToolWindowProc);
    ToolMessages().clear();
    {
        BaseSkin widget;
        widget.SetBounds(1, 2, 3, 4);
        EXPECT_TRUE(ToolMessages().empty());
        widget.AttachTooltip(tooltip, tooltip);
        widget.MoveTo(10, 20);
        widget.SetDisabled(true);
    }
    DestroyWindow(tooltip);
    const std::vector<UINT> sent = {TTM_ADDTOOLA, TTM_NEWTOOLRECTA, TTM_DELTOOLA, TTM_DELTOOLA};
    std::vector<UINT> received;
    for (const ToolMessage& message : ToolMessages()) {
        received.push_back(message.message);
        EXPECT_EQ(44u, message.cbSize);
        EXPECT_EQ(message.message == TTM_ADDTOOLA ? 1u : 0u, message.wParam);
    }
    ASSERT_EQ(sent, received);
    const RECT& added = ToolMessages()[0].rect;
    const RECT& moved = ToolMessages()[1].rect;
    EXPECT_EQ((std::vector<LONG>{1, 2, 4, 6}), (std::vector<LONG>{added.left, added.top, added.right, added.bottom}));
    EXPECT_EQ((std::vector<LONG>{10, 20, 13, 24}), (std::vector<LONG>{moved.left, moved.top, moved.right, moved.bottom}));
}

}  // namespace
