// The target folder: made absolute, created with its parents.
#pragma once
#include <windows.h>

// Writes the absolute form of folder into out and creates the chain; false
// when the path is empty, too long or cannot be a directory.
bool PrepareFolder(const char* folder, char (&out)[MAX_PATH]);

// folder + "\\" + name, false when it does not fit into MAX_PATH.
bool JoinPath(const char* folder, const char* name, char (&out)[MAX_PATH]);
