// One widget image and the routine that draws it.
#pragma once
#include <windows.h>

#include <cstdint>

// A rectangle of a bitmap the widget does not own; a null bitmap means no image.
struct SkinImage {
    HBITMAP bitmap;
    int32_t srcX;
    int32_t srcY;
    int32_t width;        // in tile mode, the largest tile width
    int32_t height;       // in tile mode, the largest tile height
    int32_t transparent;  // nonzero: pixels of kTransparentColour are not copied
};

// Pure red, not magenta: the skin sheet paints its holes this colour.
constexpr COLORREF kTransparentColour = RGB(255, 0, 0);

// Copies the image onto (x, y, w, h) of destination, scaled when stretch is
// true, else repeated as tiles that all start at the image's top-left corner.
// source is a memory DC to borrow for the bitmap, or null to make one.
void DrawSkinImage(HDC destination, HDC source, const SkinImage& image, int x, int y, int w, int h,
                   bool stretch);
