#include "console/console.h"

#include "console/terminal.h"

namespace {

constexpr std::int32_t firstGridLine = 3;
constexpr std::int32_t firstGridColumn = 5;

// The cell that carries the highlight, by row and column only: a page turn keeps it,
// so the first setCursor on the new page repaints that position there.
std::int32_t rowOld = 0;
std::int32_t columnOld = 0;

std::int32_t cellX(std::int32_t column) { return firstGridColumn + 4 * column; }
std::int32_t cellY(std::int32_t row) { return firstGridLine + 2 * row; }

std::int32_t offsetOf(std::int32_t page, std::int32_t row, std::int32_t column) {
    return (page * rowsPerPage + row) * bytesPerRow + column;
}

// A cell in its ordinary form: the byte in colorData, or 00 in colorPadding past the end.
void drawCell(std::int32_t offset, const std::uint8_t* fileBuffer, std::int32_t fileSize) {
    if (offset < fileSize) {
        setColor(colorData);
        printHex(fileBuffer[offset]);
    } else {
        setColor(colorPadding);
        printHex(0);
    }
}

} // namespace

void screenInit() {
    setColor(colorText);
    terminalClearScreen();
    terminalWrite("    00  01  02  03  04  05  06  07  08  09  0A  0B  0C  0D  0E  0F\n\n");
    for (std::int32_t row = 0; row < rowsPerPage; ++row) terminalPrintf("0%d\n\n", row);
}

void printPage(std::int32_t page, const std::uint8_t* fileBuffer, std::int32_t fileSize) {
    gotoxy(firstGridColumn, firstGridLine);
    for (std::int32_t row = 0; row < rowsPerPage; ++row) {
        for (std::int32_t column = 0; column < bytesPerRow; ++column) {
            drawCell(offsetOf(page, row, column), fileBuffer, fileSize);
            setColor(colorText);
            terminalWrite("  ");
        }
        gotoxy(firstGridColumn, cellY(row + 1));
    }
}

std::int32_t setCursor(std::int32_t page, std::int32_t row, std::int32_t column,
                       const std::uint8_t* fileBuffer, std::int32_t fileSize) {
    const std::int32_t offset = offsetOf(page, row, column);

    gotoxy(cellX(columnOld), cellY(rowOld));
    drawCell(offsetOf(page, rowOld, columnOld), fileBuffer, fileSize);

    // An empty file still shows its cursor, on a cell that holds no byte: as 00.
    setColor(colorCursor);
    gotoxy(cellX(column), cellY(row));
    printHex(offset < fileSize ? fileBuffer[offset] : 0);
    setColor(colorText);

    rowOld = row;
    columnOld = column;
    return offset;
}
