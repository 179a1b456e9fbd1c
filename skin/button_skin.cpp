#include "skin/button_skin.h"

#include "skin/skin_names.h"

namespace {
const char* const kSlotNames[] = {"normal", "down", "disable", "hover"};
}

void ButtonSkin::SetVisible(bool value)
{
    const bool wasVisible = visible;
    BaseSkin::SetVisible(value);
    if (value != wasVisible) {
        Invalidate();
    }
}

void ButtonSkin::OnButtonDown(int, int)
{
    pressed = true;
    if (IsActive()) {
        ChangeState(1);
    }
}

void ButtonSkin::OnButtonUp(int, int)
{
    if (!pressed) {
        return;
    }
    pressed = false;
    if (IsActive()) {
        ChangeState(0);
    }
}

void ButtonSkin::OnClick(int, int)
{
    if (IsActive()) {
        Fire(clickedCallback);
    }
}

void ButtonSkin::OnMouseEnter(int px, int py)
{
    BaseSkin::OnMouseEnter(px, py);
    RepaintHoverChange();
}

void ButtonSkin::OnMouseLeave(int px, int py)
{
    BaseSkin::OnMouseLeave(px, py);
    RepaintHoverChange();
}

void ButtonSkin::SetImage(const char* name, HBITMAP bitmap, int srcX, int srcY, int w, int h, int transparent)
{
    const int slot = FindName(name, kSlotNames);
    if (slot >= 0) {
        images[slot] = SkinImage{bitmap, srcX, srcY, w, h, transparent};
    }
}

void ButtonSkin::Draw(HDC hdc, const RECT*)
{
    if (!IsVisible()) {
        return;
    }
    SkinImage* image = &images[ChosenSlot()];
    if (image->bitmap == nullptr) {
        image = &images[kNormal];
    }
    if (image->bitmap == nullptr) {
        return;
    }
    // An image registered without a size takes the button's, once and for good.
    if (image->width <= 0) {
        image->width = width;
    }
    if (image->height <= 0) {
        image->height = height;
    }
    DrawSkinImage(hdc, nullptr, *image, x, y, width, height, false);
}

void ButtonSkin::SetCallback(const char* name, SkinCallback callback)
{
    if (NameIs(name, "stateChanged")) {
        stateChangedCallback = callback;
    } else if (NameIs(name, "clicked")) {
        clickedCallback = callback;
    } else {
        BaseSkin::SetCallback(name, callback);
    }
}

bool ButtonSkin::IsActive() const
{
    return IsVisible() && !IsDisabled();
}

void ButtonSkin::ChangeState(int32_t index)
{
    stateIndex = index;
    Invalidate();
    Fire(stateChangedCallback);
}

// Only a hover image makes hovering visible; a held button keeps its down look.
void ButtonSkin::RepaintHoverChange()
{
    if (IsActive() && !pressed && images[kHover].bitmap != nullptr) {
        Invalidate();
    }
}

int ButtonSkin::ChosenSlot() const
{
    if (IsDisabled()) {
        return kDisable;
    }
    if (stateIndex == 0 && hovered) {
        return kHover;
    }
    return stateIndex;
}
