#include "common/system_libraries.h"

#include <windows.h>

#include <delayimp.h>

#include <initializer_list>

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
    bool restricted = SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) && SetDllDirectoryA("");
    // Loaded now, from the system folder, for the life of the process: a
    // library that asks for one of them by name later gets this one. (Wine's
    // loader looks beside the program for the imports of a library that a
    // system library loads, whatever the search set here.)
    for (const char* name : {VEXIL_DELAY_LOADED})
        restricted = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) != nullptr && restricted;
    return restricted;
}
