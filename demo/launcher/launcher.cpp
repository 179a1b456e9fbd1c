// The demo product's program, started by the downloader at the end: it
// counts its starts in launched.txt beside itself, notes the folder it was
// started in, in started-in.txt, and shows a short window.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// A file beside this program; false when its path would not fit.
bool Beside(const char* name, char (&path)[MAX_PATH])
{
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = strrchr(path, '\\');
    if (length == 0 || slash == nullptr || slash - path + strlen(name) + 2 >= MAX_PATH) return false;
    strcpy(slash + 1, name);
    return true;
}

void NoteWorkingFolder()
{
    char path[MAX_PATH], folder[MAX_PATH];
    if (!Beside("started-in.txt", path) || GetCurrentDirectoryA(MAX_PATH, folder) == 0) return;
    if (FILE* file = fopen(path, "w")) {
        fprintf(file, "%s\n", folder);
        fclose(file);
    }
}

void CountStart()
{
    char path[MAX_PATH];
    if (!Beside("launched.txt", path)) return;
    int starts = 0;
    if (FILE* file = fopen(path, "r")) {
        if (fscanf(file, "%d", &starts) != 1) starts = 0;
        fclose(file);
    }
    if (FILE* file = fopen(path, "w")) {
        fprintf(file, "%d\n", starts + 1);
        fclose(file);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    NoteWorkingFolder();
    CountStart();
    HWND window = CreateWindowExA(0, "STATIC", "글렌무어 런처", WS_POPUP | WS_VISIBLE | WS_CAPTION | SS_CENTER,
                                  100, 100, 320, 80, nullptr, nullptr, nullptr, nullptr);
    SetWindowTextA(window, "글렌무어 런처");
    MSG msg;
    DWORD end = GetTickCount() + 2000;
    while (GetTickCount() < end) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(20);
    }
    DestroyWindow(window);
    return 0;
}
