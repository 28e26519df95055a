// Where the cursor stands: page on screen, cell within it, and that cell's offset.
#pragma once

#include <cstdint>

struct CursorModel {
    std::int32_t page = 0;
    std::int32_t row = 0;
    std::int32_t column = 0;
    std::int32_t cursorOffset = 0; // page * 128 + row * 16 + column, always a byte of the file
};
