// Windows-side helpers for test scripts: "window_ctl close CLASS" asks a
// window to close the way the title bar's close box does; "window_ctl load
// NAME" loads a library the way a program that restricts nothing would.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "load") == 0) return LoadLibraryA(argv[2]) ? 0 : 1;
    if (argc != 3 || strcmp(argv[1], "close") != 0) return 2;
    HWND window = FindWindowA(argv[2], nullptr);
    if (window == nullptr) return 1;
    return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
}
