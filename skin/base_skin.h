// Base of the bitmap-skinned widgets drawn on the main window's client area.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>

class BaseSkin;

// Every widget event callback; it receives the widget that fires it.
using SkinCallback = void (*)(BaseSkin* widget);

class BaseSkin {
public:
    BaseSkin();
    virtual ~BaseSkin();
    BaseSkin(const BaseSkin&) = delete;
    BaseSkin& operator=(const BaseSkin&) = delete;

    // The order of these operations is the order of their table slots.
    virtual void MoveTo(int px, int py);
    virtual void GetPosition(int* px, int* py) const;
    virtual void Resize(int w, int h);
    virtual void GetSize(int* w, int* h) const;
    virtual void SetBounds(int px, int py, int w, int h);
    virtual void GetBounds(int* px, int* py, int* w, int* h) const;
    virtual void SetVisible(bool value);
    virtual bool IsVisible() const;
    virtual void SetDisabled(bool value);
    virtual bool IsDisabled() const;
    virtual bool HitTest(int px, int py) const;
    virtual void OnButtonDown(int px, int py);
    virtual void OnButtonUp(int px, int py);
    virtual void OnClick(int px, int py);
    virtual void OnMouseMove(int px, int py);
    virtual void OnMouseEnter(int px, int py);
    virtual void OnMouseLeave(int px, int py);
    virtual void SetImage(const char* name, HBITMAP bitmap, int srcX, int srcY, int w, int h, int transparent);
    virtual void Draw(HDC hdc, const RECT* paintRect);
    virtual void Invalidate();
    virtual void SetCallback(const char* name, SkinCallback callback);

    bool IsPressed() const { return pressed; }
    bool IsHovered() const { return hovered; }

    // Registers the widget's rectangle, owned by owner, with a tooltip control.
    void AttachTooltip(HWND tooltip, HWND owner);

protected:
    void Fire(SkinCallback callback) { if (callback != nullptr) callback(this); }

    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool visible = true;
    bool disabled = false;
    bool pressed = false;
    bool hovered = false;
    SkinCallback paintCallback = nullptr;

private:
    bool IsToolAttached() const;
    void SyncToolRegistration(bool add);

    HWND tooltipWindow = nullptr;
    TOOLINFOA toolInfo = {};
};
