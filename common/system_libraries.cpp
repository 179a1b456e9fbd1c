#include "common/system_libraries.h"

#include <windows.h>

#include <delayimp.h>

namespace {

// A delay-loaded library comes from the system folder, whoever loaded the
// module that uses it and whatever that process's search path.
FARPROC WINAPI LoadFromSystemFolder(unsigned notice, PDelayLoadInfo info)
{
    if (notice != dliNotePreLoadLibrary) return nullptr;
    return reinterpret_cast<FARPROC>(LoadLibraryExA(info->szDll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

}  // namespace

PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemFolder;

bool RestrictLibrarySearch()
{
    return SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) && SetDllDirectoryA("");
}
