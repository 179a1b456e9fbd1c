// The main window: its class, its creation and its window procedure.
#pragma once
#include <windows.h>

constexpr char kMainWindowClass[] = "VAZarodezuro";
constexpr char kMainWindowText[] = "Vexil Downloader";
constexpr DWORD kMainWindowStyle = 0x90CA0000;  // popup, visible, caption, system menu, minimise box
constexpr UINT kMainWindowClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
constexpr int kIconResource = 120;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

ATOM RegisterMainWindowClass(HINSTANCE instance);

// Creates the main window with a client area of AppState.clientWidth x
// AppState.clientHeight; window creation runs the start-up sequence.
HWND CreateMainWindow(HINSTANCE instance);

// Runs the message loop until the quit message; returns its exit code.
int RunMessageLoop();
