// The token read's scanning, the same on every system: white space skipped, one token
// taken, the rest of a longer token dropped. Each terminal backend supplies the bytes.
#pragma once

#include <cstddef>

// Implemented by the backend: waits for standard input and reads what it has into bytes;
// returns how many came, or 0 at the end of input, on an error, or when the program is
// asked to end.
std::size_t readStandardInput(unsigned char* bytes, std::size_t capacity);

// Skips white space, line ends included, then takes the token up to the next white space
// into text (capacity bytes, zero-terminated), dropping what does not fit. What follows
// the token stays buffered for the next call. False when input ended before a token.
bool scanToken(char* text, std::size_t capacity);
