// Routes the main window's left button and movement to the skin widgets.
#pragma once
#include <windows.h>

#include "skin/base_skin.h"

// The button under a client point, or null; statics and the slider are never hit.
BaseSkin* WidgetAt(int px, int py);

LRESULT OnPointerDown(HWND window, LPARAM lParam);
LRESULT OnPointerUp(LPARAM lParam);
LRESULT OnPointerMove(HWND window, LPARAM lParam);
