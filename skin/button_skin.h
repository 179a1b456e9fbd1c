// Push button with normal, down, disable and hover looks.
#pragma once
#include <cstdint>

#include "skin/base_skin.h"
#include "skin/skin_image.h"

class ButtonSkin : public BaseSkin {
public:
    void SetVisible(bool value) override;
    void OnButtonDown(int px, int py) override;
    void OnButtonUp(int px, int py) override;
    void OnClick(int px, int py) override;
    void OnMouseEnter(int px, int py) override;
    void OnMouseLeave(int px, int py) override;
    void SetImage(const char* name, HBITMAP bitmap, int srcX, int srcY, int w, int h, int transparent) override;
    void Draw(HDC hdc, const RECT* paintRect) override;
    void SetCallback(const char* name, SkinCallback callback) override;

    // 0 = up, 1 = down.
    int32_t StateIndex() const { return stateIndex; }

private:
    enum Slot { kNormal, kDown, kDisable, kHover, kSlotCount };

    bool IsActive() const;
    void ChangeState(int32_t index);
    void RepaintHoverChange();
    int ChosenSlot() const;

    SkinImage images[kSlotCount] = {};
    int32_t stateIndex = 0;
    SkinCallback stateChangedCallback = nullptr;
    SkinCallback clickedCallback = nullptr;
};
