// Which names a downloaded file may be written under: only names that stay
// inside the target folder and that Windows keeps exactly as given.
#pragma once

// The side files the engine keeps beside a file on its way: no listed file
// may take such a name.
constexpr char kPartFileSuffix[] = ".vxpart";
constexpr char kStateFileSuffix[] = ".vxstate";

bool IsSafeFileName(const char* name);

// A folder below another one that stays below it: names that pass
// IsSafeFileName, separated by single backslashes (no drive, no leading,
// doubled or trailing backslash, no "..").
bool IsSafeSubFolder(const char* path);
