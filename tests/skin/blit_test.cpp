#include <gtest/gtest.h>

#include "pixels.h"
#include "common/gdi_scope.h"
#include "skin/skin_image.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kGreen = RGB(0, 200, 0);

SkinImage ImageOf(const Dib& dib, int sx, int sy, int w, int h, int transparent = 0)
{
    return SkinImage{dib.Handle(), sx, sy, w, h, transparent};
}

TEST(DrawSkinImage, TilesTenTenFiveShowingTheLeftColumnsLast)
{
    const PatternDib source(10, 10);
    Canvas canvas(30, 12);
    DrawSkinImage(canvas.Dc(), nullptr, ImageOf(source, 0, 0, 10, 10), 0, 0, 25, 10, false);
    EXPECT_EQ(0, canvas.PatternMisses(0, 0, 10, 10, 0, 0));
    EXPECT_EQ(0, canvas.PatternMisses(10, 0, 10, 10, 0, 0));
    EXPECT_EQ(0, canvas.PatternMisses(20, 0, 5, 10, 0, 0));
    EXPECT_EQ(5 * 12, canvas.Count(25, 0, 5, 12, kBackground));
    EXPECT_EQ(25 * 2, canvas.Count(0, 10, 25, 2, kBackground));
}

TEST(DrawSkinImage, TilesOneColumnAHundredTimesFromTheSourceRectangle)
{
    const PatternDib source(8, 20);
    Canvas canvas(100, 13);
    DrawSkinImage(canvas.Dc(), nullptr, ImageOf(source, 3, 2, 1, 13), 0, 0, 100, 13, false);
    for (int column = 0; column < 100; ++column) {
        ASSERT_EQ(0, canvas.PatternMisses(column, 0, 1, 13, 3, 2)) << "column " << column;
    }
}

TEST(DrawSkinImage, TallSourceIntoShortRectangleCopiesTheTopRowsOnce)
{
    const PatternDib source(60, 615);
    Canvas canvas(60, 30);
    DrawSkinImage(canvas.Dc(), nullptr, ImageOf(source, 0, 0, 60, 615), 0, 0, 60, 25, false);
    EXPECT_EQ(0, canvas.PatternMisses(0, 0, 60, 25, 0, 0));
    EXPECT_EQ(60 * 5, canvas.Count(0, 25, 60, 5, kBackground));
}

TEST(DrawSkinImage, EmptyOrNegativeTileRectanglesDrawNothing)
{
    const PatternDib source(10, 10);
    const int sizes[][2] = {{0, 10}, {10, 0}, {-5, 10}, {10, -3}, {-4, -4}};
    for (const auto& size : sizes) {
        Canvas canvas(20, 20);
        DrawSkinImage(canvas.Dc(), nullptr, ImageOf(source, 0, 0, 10, 10), 5, 5, size[0], size[1], false);
        EXPECT_EQ(400, canvas.Count(0, 0, 20, 20, kBackground)) << size[0] << " x " << size[1];
    }
}

TEST(DrawSkinImage, ImagesWithoutBitmapOrSizeDrawNothing)
{
    const PatternDib source(10, 10);
    const SkinImage images[] = {{nullptr, 0, 0, 10, 10, 0}, ImageOf(source, 0, 0, 0, 10), ImageOf(source, 0, 0, 10, -1)};
    for (const SkinImage& image : images) {
        for (const bool stretch : {false, true}) {
            Canvas canvas(20, 20);
            DrawSkinImage(canvas.Dc(), nullptr, image, 0, 0, 20, 20, stretch);
            EXPECT_EQ(400, canvas.Count(0, 0, 20, 20, kBackground));
        }
    }
}

TEST(DrawSkinImage, StretchModeScalesTheSourceRectangle)
{
    const PatternDib source(4, 4);
    Canvas canvas(12, 12);
    DrawSkinImage(canvas.Dc(), nullptr, ImageOf(source, 1, 1, 2, 2), 1, 1, 10, 10, true);
    EXPECT_EQ(25, canvas.Count(1, 1, 5, 5, PatternColour(1, 1)));
    EXPECT_EQ(25, canvas.Count(6, 1, 5, 5, PatternColour(2, 1)));
    EXPECT_EQ(25, canvas.Count(1, 6, 5, 5, PatternColour(1, 2)));
    EXPECT_EQ(25, canvas.Count(6, 6, 5, 5, PatternColour(2, 2)));
    EXPECT_EQ(12 + 11, canvas.Count(0, 0, 12, 1, kBackground) + canvas.Count(0, 1, 1, 11, kBackground));
}

TEST(DrawSkinImage, StretchModeAtTheImageSizeCopiesItOnce)
{
    const PatternDib source(10, 10);
    Canvas canvas(12, 12);
    DrawSkinImage(canvas.Dc(), nullptr, ImageOf(source, 2, 3, 6, 5), 4, 4, 6, 5, true);
    EXPECT_EQ(0, canvas.PatternMisses(4, 4, 6, 5, 2, 3));
    EXPECT_EQ(144 - 30, canvas.Count(0, 0, 12, 12, kBackground));
}

// Red, magenta, green, red.
struct KeyedDib : Dib {
    KeyedDib() : Dib(4, 1)
    {
        Set(0, 0, kRed);
        Set(1, 0, kMagenta);
        Set(2, 0, kGreen);
        Set(3, 0, kRed);
    }
};

TEST(DrawSkinImage, TransparentTilesKeepTheDestinationUnderPureRedOnly)
{
    const KeyedDib source;
    Canvas canvas(8, 1);
    DrawSkinImage(canvas.Dc(), nullptr, ImageOf(source, 0, 0, 4, 1, 1), 0, 0, 8, 1, false);
    const COLORREF expected[] = {kBackground, kMagenta, kGreen, kBackground};
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(expected[x % 4], canvas.pixels.At(x, 0)) << "x " << x;
    }
}

TEST(DrawSkinImage, TransparentStretchKeepsTheDestinationUnderPureRedOnly)
{
    const KeyedDib source;
    Canvas canvas(8, 2);
    DrawSkinImage(canvas.Dc(), nullptr, ImageOf(source, 0, 0, 4, 1, 1), 0, 0, 8, 2, true);
    EXPECT_EQ(4, canvas.Count(0, 0, 2, 2, kBackground));
    EXPECT_EQ(4, canvas.Count(2, 0, 2, 2, kMagenta));
    EXPECT_EQ(4, canvas.Count(4, 0, 2, 2, kGreen));
    EXPECT_EQ(4, canvas.Count(6, 0, 2, 2, kBackground));
}

TEST(DrawSkinImage, OpaqueImagesCopyPureRed)
{
    const KeyedDib source;
    for (const bool stretch : {false, true}) {
        Canvas canvas(4, 1);
        DrawSkinImage(canvas.Dc(), nullptr, ImageOf(source, 0, 0, 4, 1), 0, 0, 4, 1, stretch);
        EXPECT_EQ(2, canvas.Count(0, 0, 4, 1, kRed));
    }
}

TEST(DrawSkinImage, BorrowedSourceContextGetsItsBitmapBack)
{
    const PatternDib source(10, 10);
    const Dib other(1, 1);
    Canvas canvas(20, 10);
    const MemoryDc shared(canvas.Dc());
    const SelectedObject held(shared.Get(), other.Handle());
    DrawSkinImage(canvas.Dc(), shared.Get(), ImageOf(source, 0, 0, 10, 10), 0, 0, 10, 10, false);
    DrawSkinImage(canvas.Dc(), shared.Get(), ImageOf(source, 0, 0, 10, 10), 10, 0, 10, 10, false);
    EXPECT_EQ(0, canvas.PatternMisses(0, 0, 10, 10, 0, 0));
    EXPECT_EQ(0, canvas.PatternMisses(10, 0, 10, 10, 0, 0));
    EXPECT_EQ(other.Handle(), GetCurrentObject(shared.Get(), OBJ_BITMAP));
}

TEST(GdiScope, SelectedObjectPutsThePreviousObjectBack)
{
    const Dib first(1, 1);
    const Dib second(1, 1);
    const MemoryDc dc(nullptr);
    const SelectedObject outer(dc.Get(), first.Handle());
    {
        const SelectedObject inner(dc.Get(), second.Handle());
        EXPECT_EQ(second.Handle(), GetCurrentObject(dc.Get(), OBJ_BITMAP));
    }
    EXPECT_EQ(first.Handle(), GetCurrentObject(dc.Get(), OBJ_BITMAP));
}

TEST(GdiScope, MemoryDcIsDeletedWithItsGuard)
{
    HDC dc = nullptr;
    {
        const MemoryDc guard(nullptr);
        dc = guard.Get();
        EXPECT_EQ(static_cast<DWORD>(OBJ_MEMDC), GetObjectType(dc));
    }
    EXPECT_EQ(0u, GetObjectType(dc));
}

}  // namespace
