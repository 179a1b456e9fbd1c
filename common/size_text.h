// Positive numbers sent as decimal text: the sizes servers send, the
// versions of signed documents.
#pragma once
#include <cstdint>

// Value of a positive decimal text without sign or blanks; 0 for anything
// else, including values that do not fit 64 bits.
int64_t ParsePositiveSize(const char* text);
