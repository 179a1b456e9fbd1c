// A Unix path from the build, as Windows programs under Wine reach it.
#pragma once
#include <algorithm>
#include <string>

inline std::string HostPath(const char* unixPath)
{
    std::string path = unixPath;
    if (!path.empty() && path[0] == '/') {
        std::replace(path.begin(), path.end(), '/', '\\');
        path = "Z:" + path;
    }
    return path;
}
