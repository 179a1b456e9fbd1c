#include "skin/slider_skin.h"

#include <algorithm>

#include "common/gdi_scope.h"
#include "skin/skin_names.h"

namespace {
const char* const kPartNames[] = {"head", "tail", "normal", "pass", "thumb", "thumbClick"};
}

void SliderSkin::SetBounds(int px, int py, int w, int h)
{
    BaseSkin::SetBounds(px, py, w, h);
    RecomputeThumb();
}

void SliderSkin::SetImage(const char* name, HBITMAP bitmap, int srcX, int srcY, int w, int h, int transparent)
{
    const int part = FindName(name, kPartNames);
    if (part < 0) {
        return;
    }
    parts[part] = SkinImage{bitmap, srcX, srcY, w, h, transparent};
    if (part == kThumb) {
        thumbCenter = w / 2;
    }
}

void SliderSkin::Draw(HDC hdc, const RECT*)
{
    if (!IsVisible() || IsDisabled()) {
        return;
    }
    const MemoryDc source(hdc);
    const int32_t headWidth = PartWidth(kHead);
    const int32_t trackWidth = width - headWidth;
    DrawPart(hdc, source.Get(), kHead, x, headWidth);
    DrawPart(hdc, source.Get(), kNormal, x + headWidth, trackWidth);
    DrawPart(hdc, source.Get(), kPass, x + headWidth, std::min(thumbCenter - headWidth, trackWidth));
    DrawPart(hdc, source.Get(), kTail, x + width - PartWidth(kTail), PartWidth(kTail));
    const Part thumb = pressed && parts[kThumbClick].bitmap != nullptr ? kThumbClick : kThumb;
    DrawPart(hdc, source.Get(), thumb, x + thumbCenter - PartWidth(thumb) / 2, PartWidth(thumb));
}

void SliderSkin::SetCallback(const char* name, SkinCallback callback)
{
    if (NameIs(name, "valueChanged")) {
        valueChangedCallback = callback;
    } else if (NameIs(name, "enterSlider")) {
        enterSliderCallback = callback;
    } else if (NameIs(name, "leaveSlider")) {
        leaveSliderCallback = callback;
    } else {
        BaseSkin::SetCallback(name, callback);
    }
}

void SliderSkin::SetRange(int32_t min, int32_t max)
{
    if (max <= min) {
        return;
    }
    minValue = min;
    maxValue = max;
    value = std::clamp(value, minValue, maxValue);
}

void SliderSkin::SetValue(int32_t v)
{
    if (pressed) {
        return;
    }
    const int32_t oldCenter = thumbCenter;
    value = std::clamp(v, minValue, maxValue);
    RecomputeThumb();
    if (thumbCenter != oldCenter) {
        Invalidate();
    }
}

void SliderSkin::RecomputeThumb()
{
    const int32_t thumbWidth = PartWidth(kThumb);
    const double travel = static_cast<double>(width) - thumbWidth;
    const double done = static_cast<double>(value) - minValue;
    const double range = static_cast<double>(maxValue) - minValue;
    thumbCenter = static_cast<int32_t>(travel * done / range + thumbWidth / 2);
}

int32_t SliderSkin::PartWidth(Part part) const
{
    return parts[part].bitmap != nullptr ? parts[part].width : 0;
}

void SliderSkin::DrawPart(HDC hdc, HDC source, Part part, int left, int w) const
{
    DrawSkinImage(hdc, source, parts[part], left, y, w, parts[part].height, false);
}
