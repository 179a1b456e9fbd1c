#include "app/main_window.h"

#include "app/commands.h"
#include "app/painting.h"
#include "app/pointer_router.h"
#include "app/startup.h"
#include "bridge/download_start.h"
#include "bridge/engine_events.h"
#include "common/engine_contract.h"
#include "state/app_state.h"

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    // Start-up's result is not needed: the window shows whatever it left.
    case WM_CREATE: RunStartUp(window); return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_PAINT: return PaintWindow(window);
    case WM_GETMINMAXINFO: return 0;
    case WM_TIMER: return OnTimer(window);
    case WM_MOUSEMOVE: OnPointerMove(window, lParam); break;
    case WM_LBUTTONDOWN: OnPointerDown(window, lParam); break;
    // The class asks for double clicks: a second press soon after the first
    // (a start right after a pause) comes as one, and is a press all the same.
    case WM_LBUTTONDBLCLK: OnPointerDown(window, lParam); break;
    case WM_LBUTTONUP: OnPointerUp(lParam); break;
    case WM_ENGINE_EVENT: HandleEngineEvent(wParam, lParam); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

ATOM RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.style = kMainWindowClassStyle;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconResource));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassA(&windowClass);
}

HWND CreateMainWindow(HINSTANCE instance)
{
    RECT outer = {0, 0, AppState.clientWidth, AppState.clientHeight};
    AdjustWindowRect(&outer, kMainWindowStyle, FALSE);
    return CreateWindowExA(0, kMainWindowClass, kMainWindowText, kMainWindowStyle, 0, 0,
                           outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, instance,
                           nullptr);
}

int RunMessageLoop()
{
    MSG msg = {};
    while (GetMessageA(&msg, nullptr, 0, 0) != 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
