#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "state/app_state.h"
#include "config/documents.h"
#include "config/background_picture.h"
#include "support/fresh_state.h"
#include "support/http_responder.h"
#include "support/temp_dir.h"

namespace {

// A 24-bit BMP filled with one colour.
std::string MakeBmp(int width, int height, unsigned char r, unsigned char g, unsigned char b)
{
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + stride * height;
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::string data(reinterpret_cast<const char*>(&file), sizeof(file));
    data.append(reinterpret_cast<const char*>(&info), sizeof(info));
    std::string row(stride, '\0');
    for (int x = 0; x < width; ++x) {
        row[x * 3] = static_cast<char>(b);
        row[x * 3 + 1] = static_cast<char>(g);
        row[x * 3 + 2] = static_cast<char>(r);
    }
    for (int y = 0; y < height; ++y) data += row;
    return data;
}

SIZE BitmapSize(HBITMAP bitmap)
{
    BITMAP info = {};
    GetObjectA(bitmap, sizeof(info), &info);
    return SIZE{info.bmWidth, info.bmHeight};
}

COLORREF PixelAt(HBITMAP bitmap, int x, int y)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const COLORREF colour = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return colour;
}

class SkinImages : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAppState();
        AppState.appInstance = GetModuleHandleA(nullptr);
        dir = FreshTempDir("img");
    }
    std::string dir;
};

TEST_F(SkinImages, LargeBmpIsStretchedToClientSize)
{
    const std::string path = dir + "\\big.bmp";
    WriteWholeFile(path, MakeBmp(800, 600, 200, 0, 0));
    HBITMAP bitmap = DecodePictureFile(path.c_str());
    ASSERT_NE(nullptr, bitmap);
    EXPECT_EQ(544, BitmapSize(bitmap).cx);
    EXPECT_EQ(340, BitmapSize(bitmap).cy);
    EXPECT_EQ(RGB(200, 0, 0), PixelAt(bitmap, 300, 200));
    DeleteObject(bitmap);
}

TEST_F(SkinImages, ExactSizeBmpStaysValid)
{
    const std::string path = dir + "\\exact.bmp";
    WriteWholeFile(path, MakeBmp(544, 340, 0, 0, 255));
    HBITMAP bitmap = DecodePictureFile(path.c_str());
    ASSERT_NE(nullptr, bitmap);
    DeleteFileA(path.c_str());
    EXPECT_EQ(544, BitmapSize(bitmap).cx);
    EXPECT_EQ(340, BitmapSize(bitmap).cy);
    EXPECT_EQ(RGB(0, 0, 255), PixelAt(bitmap, 543, 339));
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(SkinImages, JpegIsDecoded)
{
    HBITMAP bitmap = DecodePictureFile("Z:" VEXIL_SOURCE_DIR "/res/demo-background.jpg");
    ASSERT_NE(nullptr, bitmap);
    EXPECT_EQ(544, BitmapSize(bitmap).cx);
    EXPECT_EQ(340, BitmapSize(bitmap).cy);
    DeleteObject(bitmap);
}

TEST_F(SkinImages, NonPicturesAndEmptyFilesGiveNull)
{
    const std::string text = dir + "\\text.bmp";
    const std::string empty = dir + "\\empty.bmp";
    WriteWholeFile(text, "this is no picture at all");
    WriteWholeFile(empty, "");
    EXPECT_EQ(nullptr, DecodePictureFile(text.c_str()));
    EXPECT_EQ(nullptr, DecodePictureFile(empty.c_str()));
    EXPECT_EQ(nullptr, DecodePictureFile((dir + "\\none.bmp").c_str()));
}

TEST_F(SkinImages, BrokenCacheIsReplacedByFreshPicture)
{
    HttpResponder server;
    server.Serve("/back.bmp", HttpReply::Ok(MakeBmp(100, 50, 0, 255, 0)));
    const std::string path = dir + "\\back.bmp";
    WriteWholeFile(path, "not a picture");
    const std::string url = server.Url("/back.bmp");
    EXPECT_EQ(nullptr, LoadCachedImage(url.c_str(), path.c_str()));
    EXPECT_TRUE(server.Requests().empty());
    HBITMAP bitmap = LoadFreshImage(url.c_str(), path.c_str());
    ASSERT_NE(nullptr, bitmap);
    EXPECT_EQ(RGB(0, 255, 0), PixelAt(bitmap, 10, 10));
    EXPECT_EQ("Glenmoor ImgDown", server.Requests().at(0).Header("user-agent"));
    DeleteObject(bitmap);
}

TEST_F(SkinImages, MissingCacheIsDownloaded)
{
    HttpResponder server;
    server.Serve("/pic.bmp", HttpReply::Ok(MakeBmp(60, 40, 10, 20, 30)));
    const std::string path = dir + "\\cache\\pic.bmp";
    HBITMAP bitmap = LoadCachedImage(server.Url("/pic.bmp").c_str(), path.c_str());
    ASSERT_NE(nullptr, bitmap);
    EXPECT_TRUE(FileExists(path));
    DeleteObject(bitmap);
}

TEST_F(SkinImages, ErrorPageNeverBecomesThePicture)
{
    HttpResponder server;
    server.Serve("/pic.bmp", HttpReply::Status(500, "Internal Server Error", "oops"));
    const std::string path = dir + "\\pic.bmp";
    EXPECT_EQ(nullptr, LoadFreshImage(server.Url("/pic.bmp").c_str(), path.c_str()));
    EXPECT_FALSE(FileExists(path));
}

TEST_F(SkinImages, FallbackIsBitmap117)
{
    HBITMAP bitmap = LoadBackgroundBitmap("http://127.0.0.1:1/none.bmp", dir.c_str());
    ASSERT_NE(nullptr, bitmap);
    EXPECT_EQ(360, BitmapSize(bitmap).cx);
    EXPECT_EQ(160, BitmapSize(bitmap).cy);
    DeleteObject(bitmap);
    bitmap = LoadBackgroundBitmap("", dir.c_str());
    ASSERT_NE(nullptr, bitmap);
    EXPECT_EQ(360, BitmapSize(bitmap).cx);
    DeleteObject(bitmap);
}

TEST_F(SkinImages, UnsafeImageNameWritesNothingOutside)
{
    HttpResponder server;
    server.Serve("/x/..", HttpReply::Ok(MakeBmp(10, 10, 1, 2, 3)));
    HBITMAP bitmap = LoadBackgroundBitmap(server.Url("/x/..").c_str(), dir.c_str());
    ASSERT_NE(nullptr, bitmap);
    EXPECT_EQ(360, BitmapSize(bitmap).cx);
    EXPECT_TRUE(server.Requests().empty());
    DeleteObject(bitmap);
}

}  // namespace
