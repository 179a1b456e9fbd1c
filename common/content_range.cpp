#include "common/content_range.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

bool ParseDecimal(const char*& text, char delimiter, uint64_t& out)
{
    char* end = nullptr;
    if (*text < '0' || *text > '9') return false;
    out = std::strtoull(text, &end, 10);
    if (*end != delimiter) return false;
    text = end + 1;
    return true;
}

ContentRange ParseContentRange(const char* text)
{
    ContentRange range;
    if (_strnicmp(text, "bytes ", 6) != 0) return range;
    text += 6;
    range.startKnown = ParseDecimal(text, '-', range.first);
    range.valid = range.startKnown && ParseDecimal(text, '/', range.last) && ParseDecimal(text, '\0', range.total) &&
                  range.first <= range.last && range.last < range.total;
    return range;
}
