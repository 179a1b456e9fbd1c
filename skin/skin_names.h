// Image and event names are matched without regard to letter case.
#pragma once
#include <windows.h>

#include <cstddef>

inline bool NameIs(const char* name, const char* expected)
{
    return name != nullptr && lstrcmpiA(name, expected) == 0;
}

// Index of name among names, or -1 when it is not one of them.
template <size_t N>
int FindName(const char* name, const char* const (&names)[N])
{
    for (size_t i = 0; i < N; ++i) {
        if (NameIs(name, names[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
