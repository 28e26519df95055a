#include "editor/keyLoop.h"

#include "console/console.h"
#include "console/keyDecoder.h"
#include "console/terminal.h"
#include "editor/cursorModel.h"
#include "editor/valueEntry.h"

namespace {

constexpr int keyEdit = 'e';
constexpr int keySave = 's';
constexpr std::int32_t lastRow = rowsPerPage - 1;
constexpr std::int32_t lastColumn = bytesPerRow - 1;

void placeCursor(CursorModel& cursor, const EditedFile& file) {
    cursor.cursorOffset = setCursor(cursor.page, cursor.row, cursor.column, file.fileBuffer, file.fileSize);
}

// A step right or down: taken when the candidate cell holds data; otherwise refused,
// and the page is drawn again with the cursor where it was.
void stepForward(CursorModel& cursor, const EditedFile& file, std::int32_t& coordinate,
                 std::int32_t limit, std::int32_t stride) {
    if (coordinate == limit) return;
    if (checkMove(cursor.cursorOffset + stride, file.fileSize) == 0) {
        ++coordinate;
    } else {
        printPage(cursor.page, file.fileBuffer, file.fileSize);
    }
    placeCursor(cursor, file);
}

// A step left or up stays inside the data whenever the cursor is.
void stepBack(CursorModel& cursor, const EditedFile& file, std::int32_t& coordinate) {
    if (coordinate == 0) return;
    --coordinate;
    placeCursor(cursor, file);
}

void nextPage(CursorModel& cursor, const EditedFile& file, std::int32_t pageCount) {
    if (cursor.page + 1 >= pageCount) return;
    ++cursor.page;
    printPage(cursor.page, file.fileBuffer, file.fileSize);
    cursor.row = 0;
    cursor.column = 0;
    placeCursor(cursor, file);
}

// On the first page the page stays as drawn, but the cursor still goes to its first cell.
void previousPage(CursorModel& cursor, const EditedFile& file) {
    if (cursor.page > 0) {
        --cursor.page;
        printPage(cursor.page, file.fileBuffer, file.fileSize);
    }
    cursor.row = 0;
    cursor.column = 0;
    placeCursor(cursor, file);
}

void drawStatusAndInputLines(const CursorModel& cursor) {
    static constexpr char blanks[inputLineWidth + 1] = "                              ";
    // Not cleared first: a shorter page number leaves the end of a longer one standing.
    gotoxy(statusLineX, statusLineY);
    terminalPrintf("Page: %d", cursor.page + 1);
    gotoxy(inputLineX, inputLineY);
    terminalWrite(blanks);
    gotoxy(inputLineX, inputLineY);
}

} // namespace

int checkMove(std::int32_t offset, std::int32_t size) { return offset >= size ? 1 : 0; }

int keyLoop(const EditedFile& file, std::int32_t pageCount) {
    CursorModel cursor;
    char valueText[valueTextCapacity] = {};
    for (;;) {
        drawStatusAndInputLines(cursor);
        const int key = readKeyByte();
        if (key < 0) return 1;
        // Codes compare as signed bytes: 128 to 255, the prefix 224 among them, match nothing.
        switch (static_cast<signed char>(key)) {
        case escapeByte: return 0;
        case keyUp: stepBack(cursor, file, cursor.row); break;
        case keyLeft: stepBack(cursor, file, cursor.column); break;
        case keyRight: stepForward(cursor, file, cursor.column, lastColumn, 1); break;
        case keyDown: stepForward(cursor, file, cursor.row, lastRow, bytesPerRow); break;
        case keyPageUp: nextPage(cursor, file, pageCount); break;
        case keyPageDown: previousPage(cursor, file); break;
        case keyEdit: valueEntry(valueText, file, cursor); break;
        case keySave:
            if (!saveFile(file)) return 1;
            break;
        default: break;
        }
    }
}
