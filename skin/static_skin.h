// A widget that shows one image and has no events of its own.
#pragma once
#include "skin/base_skin.h"
#include "skin/skin_image.h"

class StaticSkin : public BaseSkin {
public:
    // Every call replaces the one image; the name is not examined.
    void SetImage(const char* name, HBITMAP bitmap, int srcX, int srcY, int w, int h, int transparent) override;
    // Draws while visible, disabled or not.
    void Draw(HDC hdc, const RECT* paintRect) override;

private:
    SkinImage image = {};
    bool stretch = false;
};
