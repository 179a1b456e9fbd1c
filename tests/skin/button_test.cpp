#include <gtest/gtest.h>

#include "pixels.h"
#include "recorder.h"
#include "skin/button_skin.h"

namespace {

constexpr COLORREF kNormal = RGB(10, 10, 10);
constexpr COLORREF kDown = RGB(20, 20, 20);
constexpr COLORREF kDisable = RGB(30, 30, 30);
constexpr COLORREF kHover = RGB(40, 40, 40);

// A sheet of four 10 x 10 looks side by side.
struct Sheet : Dib {
    Sheet() : Dib(40, 10)
    {
        Fill(0, 0, 10, 10, kNormal);
        Fill(10, 0, 10, 10, kDown);
        Fill(20, 0, 10, 10, kDisable);
        Fill(30, 0, 10, 10, kHover);
    }
};

class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Events().clear();
        button.SetBounds(5, 5, 10, 10);
        Watch(button);
    }

    void Register(const char* name, int column) { button.SetImage(name, sheet.Handle(), column * 10, 0, 10, 10, 0); }

    // The colour the button shows, after checking it fills its whole rectangle.
    COLORREF Drawn()
    {
        Canvas canvas(20, 20);
        button.Draw(canvas.Dc(), nullptr);
        const COLORREF colour = canvas.pixels.At(5, 5);
        EXPECT_EQ(100, canvas.Count(5, 5, 10, 10, colour));
        EXPECT_EQ(300, canvas.Count(0, 0, 20, 20, kBackground));
        return colour;
    }

    Sheet sheet;
    ButtonSkin button;
};

TEST_F(ButtonTest, ClickFiresStateChangedDownThenUpThenClicked)
{
    button.OnButtonDown(7, 7);
    button.OnButtonUp(7, 7);
    button.OnClick(7, 7);
    const std::vector<Event> expected = {{&button, "paint"}, {&button, "stateChanged down"},
                                         {&button, "paint"}, {&button, "stateChanged up"},
                                         {&button, "clicked"}};
    EXPECT_EQ(expected, Events());
}

TEST_F(ButtonTest, ReleaseWithoutPressDoesNothing)
{
    button.OnButtonUp(7, 7);
    EXPECT_TRUE(Events().empty());
}

TEST_F(ButtonTest, DisabledButtonChangesNoStateAndIgnoresClicks)
{
    button.SetDisabled(true);
    button.OnButtonDown(7, 7);
    EXPECT_TRUE(button.IsPressed());
    button.OnButtonUp(7, 7);
    button.OnClick(7, 7);
    EXPECT_FALSE(button.IsPressed());
    EXPECT_TRUE(Events().empty());
}

TEST_F(ButtonTest, HoverRepaintsOnlyWithAHoverImage)
{
    Register("normal", 0);
    button.OnMouseEnter(7, 7);
    button.OnMouseLeave(7, 7);
    EXPECT_TRUE(Events().empty());

    Register("HOVER", 3);
    button.OnMouseEnter(7, 7);
    button.OnMouseLeave(7, 7);
    const std::vector<Event> expected = {{&button, "paint hovered"}, {&button, "paint"}};
    EXPECT_EQ(expected, Events());
}

TEST_F(ButtonTest, HoverWhileHeldDoesNotRepaint)
{
    Register("hover", 3);
    button.OnButtonDown(7, 7);
    Events().clear();
    button.OnMouseLeave(7, 7);
    button.OnMouseEnter(7, 7);
    EXPECT_TRUE(Events().empty());
}

TEST_F(ButtonTest, DrawsTheLookOfItsState)
{
    Register("Normal", 0);
    Register("down", 1);
    Register("disable", 2);
    Register("hover", 3);
    EXPECT_EQ(kNormal, Drawn());
    button.OnMouseEnter(7, 7);
    EXPECT_EQ(kHover, Drawn());
    button.OnButtonDown(7, 7);
    EXPECT_EQ(kDown, Drawn());
    button.OnButtonUp(7, 7);
    EXPECT_EQ(kHover, Drawn());
    button.SetDisabled(true);
    EXPECT_EQ(kDisable, Drawn());
}

TEST_F(ButtonTest, MissingLooksFallBackToNormal)
{
    Register("normal", 0);
    button.SetDisabled(true);
    EXPECT_EQ(kNormal, Drawn());
    button.SetDisabled(false);
    button.OnMouseEnter(7, 7);
    button.OnButtonDown(7, 7);
    EXPECT_EQ(kNormal, Drawn());
}

TEST_F(ButtonTest, WithoutNormalImageOrWhenHiddenDrawsNothing)
{
    Register("down", 1);
    Canvas canvas(20, 20);
    button.Draw(canvas.Dc(), nullptr);
    Register("normal", 0);
    button.SetVisible(false);
    button.Draw(canvas.Dc(), nullptr);
    EXPECT_EQ(400, canvas.Count(0, 0, 20, 20, kBackground));
}

TEST_F(ButtonTest, UnknownImageNamesAreIgnored)
{
    button.SetImage("pressed", sheet.Handle(), 10, 0, 10, 10, 0);
    button.SetImage(nullptr, sheet.Handle(), 10, 0, 10, 10, 0);
    Register("normal", 0);
    button.OnButtonDown(7, 7);
    EXPECT_EQ(kNormal, Drawn());
}

TEST_F(ButtonTest, ShowingOrHidingRepaintsOnlyOnChange)
{
    button.SetVisible(true);
    EXPECT_TRUE(Events().empty());
    button.SetVisible(false);
    button.SetVisible(false);
    EXPECT_EQ(1, CountEvents("paint"));
}

TEST_F(ButtonTest, SizelessImageTakesTheButtonSizeAndKeepsIt)
{
    const PatternDib source(40, 20);
    button.SetImage("normal", source.Handle(), 0, 0, 0, 0, 0);
    button.SetBounds(0, 0, 6, 4);
    Canvas canvas(12, 4);
    button.Draw(canvas.Dc(), nullptr);
    EXPECT_EQ(0, canvas.PatternMisses(0, 0, 6, 4, 0, 0));
    EXPECT_EQ(6 * 4, canvas.Count(6, 0, 6, 4, kBackground));

    button.Resize(12, 4);
    button.Draw(canvas.Dc(), nullptr);
    EXPECT_EQ(0, canvas.PatternMisses(0, 0, 6, 4, 0, 0));
    EXPECT_EQ(0, canvas.PatternMisses(6, 0, 6, 4, 0, 0));
}

}  // namespace
