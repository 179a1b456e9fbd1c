// Bitmaps whose pixels the tests write and read directly.
#pragma once
#include <windows.h>

#include <cstdint>

#include "common/gdi_scope.h"

// A 32-bit top-down DIB section.
class Dib {
public:
    Dib(int w, int h) : width_(w)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        handle_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<uint32_t*>(bits);
        for (int i = 0; i < w * h; ++i) {
            bits_[i] = 0;
        }
    }
    ~Dib() { DeleteObject(handle_); }
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;

    HBITMAP Handle() const { return handle_; }
    void Set(int x, int y, COLORREF c) { bits_[y * width_ + x] = GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c); }
    COLORREF At(int x, int y) const
    {
        GdiFlush();
        const uint32_t p = bits_[y * width_ + x];
        return RGB((p >> 16) & 255, (p >> 8) & 255, p & 255);
    }
    void Fill(int x, int y, int w, int h, COLORREF c)
    {
        for (int j = y; j < y + h; ++j) {
            for (int i = x; i < x + w; ++i) {
                Set(i, j, c);
            }
        }
    }

private:
    int width_;
    HBITMAP handle_;
    uint32_t* bits_;
};

// Never pure red, never the canvas background: every source pixel tells where it came from.
inline COLORREF PatternColour(int x, int y)
{
    return RGB(x % 256, y % 256, 100 + y / 256);
}

constexpr COLORREF kBackground = RGB(1, 2, 3);

struct PatternDib : Dib {
    PatternDib(int w, int h) : Dib(w, h)
    {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                Set(x, y, PatternColour(x, y));
            }
        }
    }
};

// A destination: a DIB filled with kBackground, selected into its own memory DC.
class Canvas {
public:
    Canvas(int w, int h) : pixels(w, h), dc_(nullptr), selection_(dc_.Get(), pixels.Handle())
    {
        pixels.Fill(0, 0, w, h, kBackground);
    }
    HDC Dc() const { return dc_.Get(); }

    // Pixels of (x, y, w, h) that do not show the pattern from (sx, sy).
    int PatternMisses(int x, int y, int w, int h, int sx, int sy) const
    {
        int misses = 0;
        for (int j = 0; j < h; ++j) {
            for (int i = 0; i < w; ++i) {
                misses += pixels.At(x + i, y + j) != PatternColour(sx + i, sy + j);
            }
        }
        return misses;
    }
    int Count(int x, int y, int w, int h, COLORREF c) const
    {
        int found = 0;
        for (int j = y; j < y + h; ++j) {
            for (int i = x; i < x + w; ++i) {
                found += pixels.At(i, j) == c;
            }
        }
        return found;
    }

    Dib pixels;

private:
    MemoryDc dc_;
    SelectedObject selection_;
};
