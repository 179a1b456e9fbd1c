// Painting of the main window.
#pragma once
#include <windows.h>

// Draws the whole client area into dc (the window's off-screen bitmap, or a
// test's memory DC).
void PaintWindowInto(HDC dc, const RECT& client, const RECT* paintRect);

LRESULT PaintWindow(HWND window);
