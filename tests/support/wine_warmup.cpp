// Started once before the tests: brings up Wine's service and desktop
// processes, so that they do not inherit the output of a test program
// (CTest would wait for them to close it).
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    HWND window = CreateWindowExA(0, "STATIC", "warm-up", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    DestroyWindow(window);
    return 0;
}
