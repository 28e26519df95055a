// Value entry: the key e asks for a hexadecimal value and puts its low 8 bits in place
// of the byte under the cursor.
#pragma once

#include "editor/cursorModel.h"
#include "editor/fileBuffer.h"

#include <cstddef>
#include <cstdint>

// Room for a typed token and its terminating zero; a longer token is cut to fit.
inline constexpr std::size_t valueTextCapacity = 64;

// The value of text in base 16, in signed 32-bit arithmetic: leading white space, one
// optional sign, an optional 0x or 0X, then digits up to the first character that is not
// one. No digit gives 0; a magnitude past the 32-bit range saturates at 7FFFFFFF, or at
// 80000000 with a minus sign.
std::int32_t hexValue(const char* text);

// Stores the low 8 bits of the value of valueText at offset of fileBuffer.
void setValue(const char* valueText, std::uint8_t* fileBuffer, std::int32_t offset);

// Prompts on the input line, reads one token into valueText and stores its value at the
// cursor, then draws the page again with the cursor on it. At end of input nothing is
// stored; an empty file has no byte to store into.
void valueEntry(char* valueText, const EditedFile& file, const CursorModel& cursor);
