#include "skin/static_skin.h"

void StaticSkin::SetImage(const char*, HBITMAP bitmap, int srcX, int srcY, int w, int h, int transparent)
{
    image = SkinImage{bitmap, srcX, srcY, w, h, transparent};
}

void StaticSkin::Draw(HDC hdc, const RECT*)
{
    if (IsVisible()) {
        DrawSkinImage(hdc, nullptr, image, x, y, width, height, stretch);
    }
}
