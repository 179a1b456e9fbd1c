#include "skin/base_skin.h"

#include "skin/skin_names.h"

// Tool records declare the layout every common-control version accepts.
constexpr UINT kToolInfoSize = 44;

BaseSkin::BaseSkin()
{
    toolInfo.cbSize = kToolInfoSize;
}

BaseSkin::~BaseSkin()
{
    SyncToolRegistration(false);
}

void BaseSkin::MoveTo(int px, int py)
{
    SetBounds(px, py, width, height);
}

void BaseSkin::GetPosition(int* px, int* py) const
{
    *px = x;
    *py = y;
}

void BaseSkin::Resize(int w, int h)
{
    SetBounds(x, y, w, h);
}

void BaseSkin::GetSize(int* w, int* h) const
{
    *w = width;
    *h = height;
}

void BaseSkin::SetBounds(int px, int py, int w, int h)
{
    x = px;
    y = py;
    width = w;
    height = h;
    if (IsToolAttached()) {
        SetRect(&toolInfo.rect, x, y, x + w, y + h);
        SendMessageA(tooltipWindow, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&toolInfo));
    }
}

void BaseSkin::GetBounds(int* px, int* py, int* w, int* h) const
{
    GetPosition(px, py);
    GetSize(w, h);
}

void BaseSkin::SetVisible(bool value)
{
    visible = value;
    SyncToolRegistration(visible && !disabled);
}

bool BaseSkin::IsVisible() const
{
    return visible;
}

void BaseSkin::SetDisabled(bool value)
{
    disabled = value;
    SyncToolRegistration(visible && !disabled);
}

bool BaseSkin::IsDisabled() const
{
    return disabled;
}

bool BaseSkin::HitTest(int px, int py) const
{
    const RECT bounds = {x, y, x + width, y + height};
    return IsVisible() && !IsDisabled() && PtInRect(&bounds, POINT{px, py});
}

void BaseSkin::OnButtonDown(int, int)
{
    pressed = true;
}

void BaseSkin::OnButtonUp(int, int)
{
    pressed = false;
}

void BaseSkin::OnClick(int, int) {}

void BaseSkin::OnMouseMove(int, int) {}

void BaseSkin::OnMouseEnter(int, int)
{
    hovered = true;
}

void BaseSkin::OnMouseLeave(int, int)
{
    hovered = false;
}

void BaseSkin::SetImage(const char*, HBITMAP, int, int, int, int, int) {}

void BaseSkin::Draw(HDC, const RECT*) {}

void BaseSkin::Invalidate()
{
    Fire(paintCallback);
}

void BaseSkin::SetCallback(const char* name, SkinCallback callback)
{
    if (NameIs(name, "paint")) {
        paintCallback = callback;
    }
}

void BaseSkin::AttachTooltip(HWND tooltip, HWND owner)
{
    tooltipWindow = tooltip;
    toolInfo.hwnd = owner;
    SetRect(&toolInfo.rect, x, y, x + width, y + height);
    SyncToolRegistration(visible && !disabled);
}

bool BaseSkin::IsToolAttached() const
{
    return tooltipWindow != nullptr && toolInfo.hwnd != nullptr;
}

void BaseSkin::SyncToolRegistration(bool add)
{
    if (!IsToolAttached()) {
        return;
    }
    SendMessageA(tooltipWindow, add ? TTM_ADDTOOLA : TTM_DELTOOLA, add ? 1 : 0,
                 reinterpret_cast<LPARAM>(&toolInfo));
}
