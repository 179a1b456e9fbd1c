// Painting of the main window and the progress timer.
#pragma once
#include <windows.h>

LRESULT PaintWindow(HWND window);
LRESULT OnTimer(HWND window);
