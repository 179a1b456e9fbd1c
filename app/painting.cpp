#include "app/painting.h"

LRESULT PaintWindow(HWND window)
{
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    EndPaint(window, &ps);
    return 0;
}

LRESULT OnTimer(HWND) { return 0; }
