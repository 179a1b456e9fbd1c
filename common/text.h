// Bounded CP949 text: every copy or format into a fixed text buffer goes
// through here, so no buffer overflows and no cut leaves half a Korean
// character at the end.
#pragma once
#include <cstddef>

constexpr size_t kTextSize = 512;

// True for a CP949 byte that starts a two-byte character.
bool IsLeadByte(unsigned char c);

// Length of the longest prefix of text, at most limit bytes, that ends on a
// character boundary.
size_t CharBoundaryPrefix(const char* text, size_t limit);

// Copies src into dst (capacity bytes, terminator included), cut at a
// character boundary when it does not fit. Returns true when it fitted whole.
bool CopyText(char* dst, size_t capacity, const char* src);

// Copies src into dst only when it fits whole; otherwise dst is unchanged.
bool CopyTextWhole(char* dst, size_t capacity, const char* src);

// printf-style formatting into dst, cut like CopyText. Returns true when the
// whole result fitted.
bool FormatText(char* dst, size_t capacity, const char* format, ...)
    __attribute__((format(ms_printf, 3, 4)));

template <size_t N> bool CopyText(char (&dst)[N], const char* src) { return CopyText(dst, N, src); }
template <size_t N> bool CopyTextWhole(char (&dst)[N], const char* src) { return CopyTextWhole(dst, N, src); }
