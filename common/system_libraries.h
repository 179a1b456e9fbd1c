// Where the program and the engine module load libraries from: the system
// folder only. The program runs elevated, typically from the user's
// Downloads folder, where anyone's programs may place a library.
#pragma once

// Keeps every later library load of the process to the system folder:
// neither the program's own folder nor the working directory is searched,
// and the delay-loaded libraries are loaded from there at once. The
// program's first step; false when any part failed.
bool RestrictLibrarySearch();
