// The console display: the primitives that place the cursor, choose colours and write a
// byte in hexadecimal, and the page view drawn with them.
//
// Screen coordinates are column x and line y, both counted from 1. Colours are console
// attribute words: bits 0-3 the foreground, bits 4-7 the background, each a sum of
// 1 blue, 2 green, 4 red and 8 bright.
#pragma once

#include <cstdint>

inline constexpr std::int32_t colorText = 15;    // bright white on black: frame, status, prompt
inline constexpr std::int32_t colorData = 2;     // green on black: a byte of the file
inline constexpr std::int32_t colorPadding = 4;  // red on black: a cell past the end of the file
inline constexpr std::int32_t colorCursor = 18;  // green on blue: the highlighted cell

inline constexpr std::int32_t bytesPerPage = 128;
inline constexpr std::int32_t rowsPerPage = 8;
inline constexpr std::int32_t bytesPerRow = 16;

// Where the editor writes below the grid.
inline constexpr std::int32_t statusLineX = 3;
inline constexpr std::int32_t statusLineY = 19;
inline constexpr std::int32_t inputLineX = 3;
inline constexpr std::int32_t inputLineY = 21;
inline constexpr std::int32_t inputLineWidth = 30;

// ---- Primitives -----------------------------------------------------------------------

// Moves the cursor to column x, line y.
void gotoxy(std::int32_t x, std::int32_t y);

// Makes attribute the colours of everything written from now on; text already on the
// screen keeps its colours.
void setColor(std::int32_t attribute);

// Writes byte as two upper-case hexadecimal digits at the cursor.
void printHex(std::uint8_t byte);

// ---- Page view ------------------------------------------------------------------------
// Each function draws at once and leaves the colours at colorText.

// Clears the screen in colorText and draws the column header and the row labels.
// The cursor ends at column 1, line 19.
void screenInit();

// Draws the 128 cells of page (counted from 0): offsets below fileSize as data cells,
// the rest as filler cells (00 in colorPadding). No cell is highlighted.
// The cursor ends at column 5, line 19.
void printPage(std::int32_t page, const std::uint8_t* fileBuffer, std::int32_t fileSize);

// Moves the highlight to cell (row, column) of page: repaints the cell highlighted
// before (by its row and column, on this page) in its ordinary form, then the new cell
// in colorCursor. Returns the new cell's offset. The cursor ends just right of the new cell.
std::int32_t setCursor(std::int32_t page, std::int32_t row, std::int32_t column,
                       const std::uint8_t* fileBuffer, std::int32_t fileSize);
