// Horizontal gauge: head, track, passed track, tail and a thumb at the value.
#pragma once
#include <cstdint>

#include "skin/base_skin.h"
#include "skin/skin_image.h"

class SliderSkin : public BaseSkin {
public:
    void SetBounds(int px, int py, int w, int h) override;
    // The pointer does not move the gauge, so it never becomes pressed.
    void OnButtonDown(int, int) override {}
    void OnButtonUp(int, int) override {}
    void OnClick(int, int) override {}
    void OnMouseMove(int, int) override {}
    void SetImage(const char* name, HBITMAP bitmap, int srcX, int srcY, int w, int h, int transparent) override;
    void Draw(HDC hdc, const RECT* paintRect) override;
    void SetCallback(const char* name, SkinCallback callback) override;

    // Refused unless max > min; leaves the thumb where it was.
    void SetRange(int32_t min, int32_t max);
    // Clamps v into the range and repaints when the thumb moves a pixel.
    void SetValue(int32_t v);
    void RecomputeThumb();

    int32_t MinValue() const { return minValue; }
    int32_t MaxValue() const { return maxValue; }
    int32_t Value() const { return value; }
    // Offset of the thumb's centre from the left edge.
    int32_t ThumbCenter() const { return thumbCenter; }

private:
    enum Part { kHead, kTail, kNormal, kPass, kThumb, kThumbClick, kPartCount };

    int32_t PartWidth(Part part) const;
    void DrawPart(HDC hdc, HDC source, Part part, int left, int w) const;

    SkinImage parts[kPartCount] = {};
    int32_t minValue = 0;
    int32_t maxValue = 100;
    int32_t value = 100;
    int32_t thumbCenter = 0;
    // Accepted and kept for a gauge the pointer may drive one day; never fired.
    SkinCallback valueChangedCallback = nullptr;
    SkinCallback enterSliderCallback = nullptr;
    SkinCallback leaveSliderCallback = nullptr;
};
