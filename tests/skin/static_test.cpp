#include <gtest/gtest.h>

#include "pixels.h"
#include "skin/static_skin.h"

namespace {

TEST(StaticSkin, AnyNameSetsTheImage)
{
    const PatternDib source(10, 10);
    for (const char* name : {"whatever", "", static_cast<const char*>(nullptr)}) {
        StaticSkin widget;
        widget.SetBounds(2, 2, 4, 4);
        widget.SetImage(name, source.Handle(), 3, 1, 4, 4, 0);
        Canvas canvas(8, 8);
        widget.Draw(canvas.Dc(), nullptr);
        EXPECT_EQ(0, canvas.PatternMisses(2, 2, 4, 4, 3, 1)) << (name ? name : "(null)");
    }
}

TEST(StaticSkin, DisabledStillDrawsHiddenDoesNot)
{
    const PatternDib source(4, 4);
    StaticSkin widget;
    widget.SetBounds(0, 0, 4, 4);
    widget.SetImage(nullptr, source.Handle(), 0, 0, 4, 4, 0);
    widget.SetDisabled(true);
    Canvas drawn(4, 4);
    widget.Draw(drawn.Dc(), nullptr);
    EXPECT_EQ(0, drawn.PatternMisses(0, 0, 4, 4, 0, 0));

    widget.SetVisible(false);
    Canvas hidden(4, 4);
    widget.Draw(hidden.Dc(), nullptr);
    EXPECT_EQ(16, hidden.Count(0, 0, 4, 4, kBackground));
}

TEST(StaticSkin, TileModeClipsALargeSource)
{
    const PatternDib source(160, 270);
    StaticSkin widget;
    widget.SetBounds(3, 3, 15, 15);
    widget.SetImage(nullptr, source.Handle(), 0, 0, 160, 270, 0);
    Canvas canvas(25, 25);
    widget.Draw(canvas.Dc(), nullptr);
    EXPECT_EQ(0, canvas.PatternMisses(3, 3, 15, 15, 0, 0));
    EXPECT_EQ(625 - 225, canvas.Count(0, 0, 25, 25, kBackground));
}

TEST(StaticSkin, SizelessImageDrawsNothing)
{
    const PatternDib source(10, 10);
    StaticSkin widget;
    widget.SetBounds(0, 0, 10, 10);
    widget.SetImage(nullptr, source.Handle(), 0, 0, 0, 10, 0);
    Canvas canvas(10, 10);
    widget.Draw(canvas.Dc(), nullptr);
    EXPECT_EQ(100, canvas.Count(0, 0, 10, 10, kBackground));
}

}  // namespace
