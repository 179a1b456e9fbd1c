// Which names a downloaded file may be written under: only names that stay
// inside the target folder and that Windows keeps exactly as given.
#pragma once
#include <string>

// The side files the engine keeps beside a file on its way: no listed file
// may take such a name.
constexpr char kPartFileSuffix[] = ".vxpart";
constexpr char kStateFileSuffix[] = ".vxstate";

bool IsSafeFileName(const char* name);

// A folder below another one that stays below it: names that pass
// IsSafeFileName, separated by single backslashes (no drive, no leading,
// doubled or trailing backslash, no "..").
bool IsSafeSubFolder(const char* path);

// A path or name as Windows compares them: names that differ in letter case
// only are one file. Keys compare with ==, far cheaper than lstrcmpi, which
// builds sort keys for every call.
std::wstring PathKey(const char* path);
