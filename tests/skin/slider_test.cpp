#include <gtest/gtest.h>

#include "pixels.h"
#include "recorder.h"
#include "skin/slider_skin.h"

namespace {

constexpr COLORREF kHead = RGB(10, 0, 0);
constexpr COLORREF kTrack = RGB(20, 0, 0);
constexpr COLORREF kPass = RGB(30, 0, 0);
constexpr COLORREF kTail = RGB(40, 0, 0);
constexpr COLORREF kThumb = RGB(50, 0, 0);
constexpr COLORREF kThumbClick = RGB(60, 0, 0);

// One 10-pixel column per part, 13 rows high.
struct Sheet : Dib {
    Sheet() : Dib(60, 13)
    {
        const COLORREF colours[] = {kHead, kTrack, kPass, kTail, kThumb, kThumbClick};
        for (int column = 0; column < 6; ++column) {
            Fill(column * 10, 0, 10, 13, colours[column]);
        }
    }
};

class SliderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Events().clear();
        slider.SetCallback("Paint", RecordPaint);
    }

    void Register(const char* name, int column, int w) { slider.SetImage(name, sheet.Handle(), column * 10, 0, w, 13, 0); }

    // Width of the strip of colour drawn from the slider's left edge.
    int StripWidth(COLORREF colour)
    {
        Canvas canvas(400, 20);
        slider.Draw(canvas.Dc(), nullptr);
        const int total = canvas.Count(0, 2, 400, 1, colour);
        EXPECT_EQ(total, canvas.Count(10, 2, total, 1, colour)) << "the strip starts at the left edge";
        return total;
    }

    Sheet sheet;
    SliderSkin slider;
};

TEST_F(SliderTest, StartsFullInZeroToHundred)
{
    EXPECT_EQ(0, slider.MinValue());
    EXPECT_EQ(100, slider.MaxValue());
    EXPECT_EQ(100, slider.Value());
}

TEST_F(SliderTest, EmptyOrReversedRangesAreRefused)
{
    slider.SetRange(5, 5);
    slider.SetRange(10, 3);
    EXPECT_EQ(0, slider.MinValue());
    EXPECT_EQ(100, slider.MaxValue());
    EXPECT_EQ(100, slider.Value());
}

TEST_F(SliderTest, SetRangePullsTheValueInButLeavesTheThumbStale)
{
    slider.SetBounds(0, 0, 100, 0);
    ASSERT_EQ(100, slider.ThumbCenter());
    slider.SetRange(0, 50);
    EXPECT_EQ(50, slider.Value());
    EXPECT_EQ(100, slider.ThumbCenter());
    slider.SetValue(25);
    EXPECT_EQ(50, slider.ThumbCenter());
    slider.SetRange(30, 40);
    EXPECT_EQ(30, slider.Value());
}

TEST_F(SliderTest, PassStripFollowsTheValueOnA358PixelBar)
{
    slider.SetBounds(10, 2, 358, 0);
    Register("PASS", 2, 1);
    slider.SetRange(0, 1000);

    slider.SetValue(500);
    EXPECT_EQ(179, slider.ThumbCenter());
    EXPECT_EQ(179, StripWidth(kPass));

    slider.SetValue(1999);
    EXPECT_EQ(1000, slider.Value());
    EXPECT_EQ(358, slider.ThumbCenter());
    EXPECT_EQ(358, StripWidth(kPass));

    slider.SetValue(-5);
    EXPECT_EQ(0, slider.Value());
    EXPECT_EQ(0, slider.ThumbCenter());
    EXPECT_EQ(0, StripWidth(kPass));
}

TEST_F(SliderTest, RepaintsOnlyWhenTheThumbMovesAPixel)
{
    slider.SetBounds(10, 2, 358, 0);
    slider.SetRange(0, 1000);
    slider.SetValue(500);
    Events().clear();
    slider.SetValue(501);
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(501, slider.Value());
    slider.SetValue(510);
    EXPECT_EQ(1u, Events().size());
}

TEST_F(SliderTest, TenPixelThumbRunsFromFiveToHundredFive)
{
    Register("thumb", 4, 10);
    EXPECT_EQ(5, slider.ThumbCenter());
    slider.SetBounds(10, 2, 110, 13);
    EXPECT_EQ(105, slider.ThumbCenter());
    slider.SetValue(0);
    EXPECT_EQ(5, slider.ThumbCenter());
    slider.SetValue(50);
    EXPECT_EQ(55, slider.ThumbCenter());

    Canvas canvas(130, 20);
    slider.Draw(canvas.Dc(), nullptr);
    EXPECT_EQ(10 * 13, canvas.Count(60, 2, 10, 13, kThumb));
    EXPECT_EQ(130 * 20 - 10 * 13, canvas.Count(0, 0, 130, 20, kBackground));
}

TEST_F(SliderTest, DrawsHeadTrackPassTailAndThumbInOrder)
{
    Register("head", 0, 4);
    Register("normal", 1, 1);
    Register("pass", 2, 1);
    Register("tail", 3, 3);
    Register("thumb", 4, 2);
    Register("thumbClick", 5, 2);
    slider.SetBounds(10, 2, 50, 0);
    slider.SetValue(50);
    ASSERT_EQ(25, slider.ThumbCenter());

    Canvas canvas(400, 20);
    slider.Draw(canvas.Dc(), nullptr);
    EXPECT_EQ(4 * 13, canvas.Count(10, 2, 4, 13, kHead));
    EXPECT_EQ(20 * 13, canvas.Count(14, 2, 20, 13, kPass));
    EXPECT_EQ(2 * 13, canvas.Count(34, 2, 2, 13, kThumb));
    EXPECT_EQ(21 * 13, canvas.Count(36, 2, 21, 13, kTrack));
    EXPECT_EQ(3 * 13, canvas.Count(57, 2, 3, 13, kTail));
    EXPECT_EQ(400 * 20 - 50 * 13, canvas.Count(0, 0, 400, 20, kBackground));
}

TEST_F(SliderTest, PointerNeverPressesIt)
{
    slider.OnButtonDown(1, 1);
    EXPECT_FALSE(slider.IsPressed());
}

TEST_F(SliderTest, DisabledOrHiddenDrawsNothing)
{
    Register("normal", 1, 1);
    Register("thumb", 4, 2);
    slider.SetBounds(10, 2, 50, 13);
    for (const bool hide : {false, true}) {
        slider.SetDisabled(!hide);
        slider.SetVisible(!hide);
        Canvas canvas(100, 20);
        slider.Draw(canvas.Dc(), nullptr);
        EXPECT_EQ(2000, canvas.Count(0, 0, 100, 20, kBackground)) << (hide ? "hidden" : "disabled");
    }
}

}  // namespace
