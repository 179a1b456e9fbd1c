#include <windows.h>

#include "app/command_line.h"
#include "app/main_window.h"
#include "common/system_libraries.h"
#include "state/app_state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    // Before anything can load a library. Should a part fail (a system without
    // the call), the program still runs: it would be no safer not to.
    RestrictLibrarySearch();
    AppState.appInstance = instance;
    ApplyCommandLine(commandLine);
    RegisterMainWindowClass(instance);
    HWND window = CreateMainWindow(instance);
    AppState.mainWindow = window;
    ShowWindow(window, showCommand);
    int exitCode = RunMessageLoop();
    if (AppState.backgroundBitmap) DeleteObject(AppState.backgroundBitmap);
    if (AppState.skinBitmap) DeleteObject(AppState.skinBitmap);
    return exitCode;
}
