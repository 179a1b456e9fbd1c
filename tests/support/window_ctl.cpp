// Drives windows from test scripts: "window_ctl close CLASS" asks a window
// to close the way the title bar's close box does.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 3 || strcmp(argv[1], "close") != 0) return 2;
    HWND window = FindWindowA(argv[2], nullptr);
    if (window == nullptr) return 1;
    return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
}
