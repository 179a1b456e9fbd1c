// How a signed document says it is fresh: the version and expires
// attributes of its Download element. The publisher's command writes them
// and the program reads them with these same rules.
#pragma once
#include <cstdint>

// A version: a positive decimal number without sign or blanks, fitting 63
// bits. 0 for anything else.
uint64_t ReadDocumentVersion(const char* text);

// An expiry: a UTC time written exactly as "2027-01-31T00:00:00Z". False
// for anything else (another form, a day the month does not have); time is
// then unspecified. The time is in 100 ns units since 1601, as Windows
// counts it.
bool ReadExpiry(const char* text, uint64_t& time);

// The system clock's time, in the same units.
uint64_t CurrentTime();
