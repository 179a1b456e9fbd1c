#include "skin/skin_image.h"

#include <algorithm>
#include <optional>

#include "common/gdi_scope.h"

namespace {

// Copies the top-left w x h of the image, one tile's worth.
void CopyPiece(HDC destination, int x, int y, int w, int h, HDC source, const SkinImage& image)
{
    if (image.transparent != 0) {
        TransparentBlt(destination, x, y, w, h, source, image.srcX, image.srcY, w, h, kTransparentColour);
    } else {
        BitBlt(destination, x, y, w, h, source, image.srcX, image.srcY, SRCCOPY);
    }
}

void StretchImage(HDC destination, int x, int y, int w, int h, HDC source, const SkinImage& image)
{
    if (image.transparent != 0) {
        TransparentBlt(destination, x, y, w, h, source, image.srcX, image.srcY, image.width, image.height,
                       kTransparentColour);
    } else if (w == image.width && h == image.height) {
        CopyPiece(destination, x, y, w, h, source, image);
    } else {
        StretchBlt(destination, x, y, w, h, source, image.srcX, image.srcY, image.width, image.height, SRCCOPY);
    }
}

void TileImage(HDC destination, int x, int y, int w, int h, HDC source, const SkinImage& image)
{
    for (int ty = y; ty < y + h;) {
        const int th = std::min(y + h - ty, image.height);
        for (int tx = x; tx < x + w;) {
            const int tw = std::min(x + w - tx, image.width);
            CopyPiece(destination, tx, ty, tw, th, source, image);
            tx += tw;
        }
        ty += th;
    }
}

}  // namespace

void DrawSkinImage(HDC destination, HDC source, const SkinImage& image, int x, int y, int w, int h,
                   bool stretch)
{
    if (image.bitmap == nullptr || image.width <= 0 || image.height <= 0) {
        return;
    }
    std::optional<MemoryDc> ownSource;
    if (source == nullptr) {
        ownSource.emplace(destination);
        source = ownSource->Get();
    }
    const SelectedObject selection(source, image.bitmap);
    if (stretch) {
        StretchImage(destination, x, y, w, h, source, image);
    } else {
        TileImage(destination, x, y, w, h, source, image);
    }
}
