#include "app/pointer_router.h"

#include <windowsx.h>

#include <algorithm>
#include <iterator>

#include "state/app_state.h"

namespace {

// Client coordinates arrive as signed 16-bit words: left of or above the
// client area they are negative.
POINT PointOf(LPARAM lParam)
{
    return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

POINT ToScreen(HWND window, POINT point)
{
    ClientToScreen(window, &point);
    return point;
}

void DragWindowTo(HWND window, POINT client)
{
    const POINT screen = ToScreen(window, client);
    SetWindowPos(AppState.mainWindow, nullptr, AppState.dragWindowRect.left + screen.x - AppState.dragOrigin.x,
                 AppState.dragWindowRect.top + screen.y - AppState.dragOrigin.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void UpdateHover(BaseSkin* hit, POINT p)
{
    if (hit != nullptr) {
        if (AppState.hoverWidget != hit) {
            if (AppState.hoverWidget != nullptr) {
                AppState.hoverWidget->OnMouseLeave(p.x, p.y);
            }
            hit->OnMouseEnter(p.x, p.y);
            AppState.hoverWidget = hit;
        }
        hit->OnMouseMove(p.x, p.y);
    } else if (AppState.hoverWidget != nullptr) {
        AppState.hoverWidget->OnMouseLeave(p.x, p.y);
        AppState.hoverWidget = nullptr;
    }
}

}  // namespace

BaseSkin* WidgetAt(int px, int py)
{
    ButtonSkin* const candidates[] = {
        AppState.downloading == 1 ? &AppState.pauseButton : &AppState.startButton,
        &AppState.folderButton,
        &AppState.closeButton,
        &AppState.autoRunButton,
    };
    const auto hit = std::find_if(std::begin(candidates), std::end(candidates),
                                  [px, py](const ButtonSkin* button) { return button->HitTest(px, py); });
    return hit != std::end(candidates) ? *hit : nullptr;
}

LRESULT OnPointerDown(HWND window, LPARAM lParam)
{
    const POINT p = PointOf(lParam);
    BaseSkin* const widget = WidgetAt(p.x, p.y);
    if (widget != nullptr) {
        AppState.pressedWidget = widget;
        widget->OnButtonDown(p.x, p.y);
    } else {
        AppState.draggingWindow = 1;
    }
    AppState.dragOrigin = ToScreen(window, p);
    GetWindowRect(AppState.mainWindow, &AppState.dragWindowRect);
    SetCapture(window);
    return 0;
}

LRESULT OnPointerUp(LPARAM lParam)
{
    const POINT p = PointOf(lParam);
    BaseSkin* const hit = WidgetAt(p.x, p.y);
    AppState.draggingWindow = 0;
    if (AppState.pressedWidget != nullptr) {
        AppState.pressedWidget->OnButtonUp(p.x, p.y);
        if (hit == AppState.pressedWidget) {
            AppState.pressedWidget->OnClick(p.x, p.y);
        }
    }
    if (AppState.hoverWidget == nullptr) {
        ReleaseCapture();
    }
    AppState.pressedWidget = nullptr;
    return 0;
}

LRESULT OnPointerMove(HWND window, LPARAM lParam)
{
    const POINT p = PointOf(lParam);
    BaseSkin* const hit = WidgetAt(p.x, p.y);
    if (AppState.draggingWindow != 0) {
        DragWindowTo(window, p);
        return 0;
    }
    if (AppState.pressedWidget != nullptr) {
        AppState.pressedWidget->OnMouseMove(p.x, p.y);
    }
    if (hit != nullptr) {
        SetCapture(window);
    }
    UpdateHover(hit, p);
    if (AppState.pressedWidget == nullptr && AppState.hoverWidget == nullptr) {
        ReleaseCapture();
    }
    return 0;
}
