// The painter drawn into a memory DC and read back pixel by pixel.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "state/app_state.h"
#include "app/painting.h"
#include "common/text.h"
#include "support/fresh_state.h"

namespace {

constexpr int kWidth = 544;
constexpr int kHeight = 340;

// A 32-bit top-down DIB section selected into a memory DC.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), dc_(CreateCompatibleDC(nullptr))
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<DWORD*>(bits);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC Dc() const { return dc_; }
    HBITMAP Release()
    {
        SelectObject(dc_, old_);
        HBITMAP bitmap = bitmap_;
        bitmap_ = nullptr;
        return bitmap;
    }
    void Fill(COLORREF colour)
    {
        HBRUSH brush = CreateSolidBrush(colour);
        RECT all = {0, 0, width_, 10000};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }
    COLORREF At(int x, int y) const
    {
        GdiFlush();
        DWORD p = bits_[y * width_ + x];
        return RGB((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff);
    }
    // Pixels of the rectangle [x0, x1) x [y0, y1) that match.
    int Count(int x0, int y0, int x1, int y1, const std::function<bool(COLORREF)>& match) const
    {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += match(At(x, y)) ? 1 : 0;
        return n;
    }

private:
    int width_;
    HDC dc_;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    DWORD* bits_ = nullptr;
};

bool Red(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) < 80 && GetBValue(c) < 80; }
bool Dark(COLORREF c) { return GetRValue(c) < 100 && GetGValue(c) < 100 && GetBValue(c) < 100; }
bool NotWhite(COLORREF c) { return c != RGB(255, 255, 255); }

bool Near(int value, int expected) { return std::abs(value - expected) <= 3; }

class Painting : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAppState();
        CopyText(AppState.totalDoneText, "0");
    }
    void TearDown() override
    {
        if (AppState.skinBitmap) DeleteObject(AppState.skinBitmap);
        ResetAppState();
    }
    void Paint()
    {
        canvas.Fill(RGB(1, 2, 3));
        RECT client = {0, 0, kWidth, kHeight};
        PaintWindowInto(canvas.Dc(), client, &client);
    }

    Canvas canvas{kWidth, kHeight};
};

TEST_F(Painting, WithoutPicturesTheGroundIsWhiteAndTheTextsAreDrawn)
{
    Paint();
    EXPECT_EQ(RGB(255, 255, 255), canvas.At(5, 5));
    EXPECT_EQ(RGB(255, 255, 255), canvas.At(540, 336));
    EXPECT_GT(canvas.Count(160, 193, 260, 206, NotWhite), 20);  // current file label
    EXPECT_GT(canvas.Count(185, 287, 330, 300, NotWhite), 20);  // auto-run label
}

TEST_F(Painting, StatusMessageIsRedInPlaceOfTheAutoRunLabel)
{
    CopyText(AppState.statusMessage, "다른 다운로드 방법을 이용하세요");
    Paint();
    EXPECT_GT(canvas.Count(185, 285, 400, 302, Red), 30);

    CopyText(AppState.statusMessage, "x");  // one character is not a message
    Paint();
    EXPECT_EQ(0, canvas.Count(185, 285, 400, 302, Red));
    EXPECT_GT(canvas.Count(185, 287, 330, 300, NotWhite), 20);
}

TEST_F(Painting, PanelsBlendTheSheetWithTheirOwnAlphas)
{
    Canvas sheet(400, 200);
    sheet.Fill(RGB(0, 0, 255));
    AppState.skinBitmap = sheet.Release();
    Paint();
    // White under blue: red and green keep (255 - alpha) / 255 of 255.
    COLORREF status = canvas.At(520, 300);  // status panel only, alpha 200
    EXPECT_TRUE(Near(GetRValue(status), 55)) << GetRValue(status);
    EXPECT_EQ(255, GetBValue(status));
    COLORREF track = canvas.At(515, 240);  // track (alpha 100) over the status panel
    EXPECT_TRUE(Near(GetRValue(track), 55 * 155 / 255)) << GetRValue(track);
    COLORREF field = canvas.At(440, 262);  // folder field (alpha 50) over the status panel
    EXPECT_TRUE(Near(GetRValue(field), 55 * 205 / 255)) << GetRValue(field);
    EXPECT_EQ(RGB(255, 255, 255), canvas.At(100, 100));  // outside every panel
}

TEST_F(Painting, LongFolderIsShownShortenedAndKeptWhole)
{
    std::string folder = "C:\\users\\someone\\AppData\\Roaming";
    while (folder.size() < 200) folder += "\\very long folder name";
    CopyText(AppState.downloadFolder, folder.c_str());
    Paint();
    EXPECT_GT(canvas.Count(162, 253, 300, 266, Dark), 20);
    EXPECT_EQ(0, canvas.Count(430, 253, 544, 266, Dark));
    EXPECT_EQ(folder, AppState.downloadFolder);
}

}  // namespace
