#include "skin/pointer_router.h"

LRESULT OnPointerDown(HWND, LPARAM) { return 0; }
LRESULT OnPointerUp(LPARAM) { return 0; }
LRESULT OnPointerMove(HWND, LPARAM) { return 0; }
