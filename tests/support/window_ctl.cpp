// Windows-side helpers for test scripts: "window_ctl close CLASS" asks a
// window to close the way the title bar's close box does; "window_ctl load
// NAME" loads a library the way a program that restricts nothing would;
// "window_ctl hold PATH" holds a file open, shared with nobody, says "held"
// and waits to be killed.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "load") == 0) return LoadLibraryA(argv[2]) ? 0 : 1;
    if (argc == 3 && strcmp(argv[1], "hold") == 0) {
        HANDLE file = CreateFileA(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        puts("held");
        fflush(stdout);
        Sleep(INFINITE);
    }
    if (argc != 3 || strcmp(argv[1], "close") != 0) return 2;
    HWND window = FindWindowA(argv[2], nullptr);
    if (window == nullptr) return 1;
    return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
}
