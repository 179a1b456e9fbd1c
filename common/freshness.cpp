#include "common/freshness.h"

#include <windows.h>

#include <cstring>

#include "common/size_text.h"

namespace {

bool ReadDigits(const char* text, int count, WORD& value)
{
    value = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = static_cast<WORD>(value * 10 + (text[i] - '0'));
    }
    return true;
}

bool IsLeapYear(WORD year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

WORD DaysIn(WORD year, WORD month)
{
    static const WORD kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

uint64_t Combined(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

uint64_t ReadDocumentVersion(const char* text) { return static_cast<uint64_t>(ParsePositiveSize(text)); }

bool ReadExpiry(const char* text, uint64_t& time)
{
    // "YYYY-MM-DDTHH:MM:SSZ": digits at fixed places, these between them.
    static const char kShape[] = "0000-00-00T00:00:00Z";
    if (text == nullptr || strlen(text) != sizeof kShape - 1) return false;
    for (size_t i = 0; i < sizeof kShape - 1; ++i)
        if (kShape[i] != '0' && text[i] != kShape[i]) return false;
    SYSTEMTIME parts = {};
    if (!ReadDigits(text, 4, parts.wYear) || !ReadDigits(text + 5, 2, parts.wMonth) ||
        !ReadDigits(text + 8, 2, parts.wDay) || !ReadDigits(text + 11, 2, parts.wHour) ||
        !ReadDigits(text + 14, 2, parts.wMinute) || !ReadDigits(text + 17, 2, parts.wSecond))
        return false;
    if (parts.wYear < 1601 || parts.wMonth < 1 || parts.wMonth > 12 || parts.wDay < 1 ||
        parts.wDay > DaysIn(parts.wYear, parts.wMonth) || parts.wHour > 23 || parts.wMinute > 59 ||
        parts.wSecond > 59)
        return false;
    FILETIME converted;
    if (!SystemTimeToFileTime(&parts, &converted)) return false;
    time = Combined(converted);
    return true;
}

uint64_t CurrentTime()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return Combined(now);
}
