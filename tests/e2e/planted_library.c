/* A library that only tells that it was loaded: on attach it creates
   "<its file name>.loaded" in the folder that VEXIL_PLANTED_MARKS names.
   Planted under the names of system libraries, it shows which of them a
   program picks up from its own folder or its working directory. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    char name[MAX_PATH], mark[2 * MAX_PATH];
    const char* base;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH || !GetModuleFileNameA(self, name, MAX_PATH) ||
        !GetEnvironmentVariableA("VEXIL_PLANTED_MARKS", mark, MAX_PATH))
        return TRUE;
    base = strrchr(name, '\\');
    lstrcatA(mark, "\\");
    lstrcatA(mark, base ? base + 1 : name);
    lstrcatA(mark, ".loaded");
    CloseHandle(CreateFileA(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    return TRUE;
}
