// The start-up sequence, run once while the main window is created.
#pragma once
#include <windows.h>

HRESULT RunStartUp(HWND window);
