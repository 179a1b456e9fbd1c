// Routes the main window's left button and movement to the skin widgets.
#pragma once
#include <windows.h>

LRESULT OnPointerDown(HWND window, LPARAM lParam);
LRESULT OnPointerUp(LPARAM lParam);
LRESULT OnPointerMove(HWND window, LPARAM lParam);
